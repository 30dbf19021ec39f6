// The trackback ping of a new article: a form post to the other blog, its answer read by the
// answer reader of the receiver, the request log kept in trackback.log.
#include "admin/trackback_send.h"

#include <algorithm>

#include "admin/setting_cell.h"
#include "net/httpclient.h"
#include "syndication/net_settings.h"
#include "syndication/trackback.h"
#include "text/DString.h"
#include "text/jconvert.h"

namespace {

// The blog's address without its scheme ("host/path/").
std::string HostPath(const std::string& systemURL) {
  for (const char* scheme : {"HTTP://", "HTTPS://"})
    if (StartsText(scheme, systemURL)) return systemURL.substr(std::string(scheme).size());
  return systemURL;
}

// A form value: the text in UTF-8 with every byte percent-encoded, so that "&", "=" and "+" of
// a title (an escaped title holds "&lt;") stay part of it.
std::string FormValue(const std::string& sjis) { return PercentEncode(SjisToUtf8(sjis)); }

// A stranger's text in the page: in the system code page when it came as UTF-8.
std::string InCodePage(const std::string& text) { return IsValidUtf8(text) ? Utf8ToSjis(text) : text; }

// An answer that could not be read is shown as it came, its tags written as text.
std::string TagsAsText(const std::string& text) {
  return ReplaceAll(ReplaceAll(text, "<", "&lt;"), ">", "&gt;");
}

}  // namespace

std::string SendTrackBack(TWebModule1& m, const std::string& target, const std::string& articleId,
                          const std::string& subject) {
  const std::string address = HostPath(m.Sys.SYSTEMURL) + "velm.exe?" + m.Account.Id + "+sl+" + articleId;
  THTTPClient client;
  ConfigureHTTPClient(client, m.Sys);
  client.LogFilename = m.ExeFolder + "trackback.log";
  client.CreateLog();
  client.Method = mtPOST;
  client.RequestHTTPVersion = "1.0";
  client.UserAgent = "VELM TRACKBACK AGENT";
  client.PostContentType = "application/x-www-form-urlencoded; charset=utf-8;";
  client.PostCode = pcUTF8;
  client.AddPost("title", FormValue(subject));
  client.AddPost("excerpt",
                 FormValue(CutLength(subject, static_cast<size_t>(std::max(m.Sys.RSSDESCLENGTH, 10)), "...")));
  client.AddPost("url", "http://" + PercentEncode(address));
  client.AddPost("blog_name", FormValue(m.Account.Title));
  client.SetURL(target);

  const std::string& answer = client.BodyBuffer();
  std::string error, message;
  ReadTrackBackAnswer(answer, error, message);
  error = Trim(error);
  std::string text = "<br><br>トラックバック情報<br>トラックバック記事URL<br>http://" + address + "<br>";
  if (error == "0") {
    text += Colored("blue", "トラックバックは正常に処理されました");
  } else if (error == "1") {
    text += Colored("red", "トラックバックに失敗") + "<br>「" + Escape(InCodePage(message)) + "」";
  } else {
    text += Colored("red", "トラックバックの応答を解析できませんでした") +
            "<br>-----Trackback result<br><span style=\"font-weight:bold\">" + TagsAsText(InCodePage(answer)) +
            "</span><br>-----Trackback result";
  }
  return text;
}
