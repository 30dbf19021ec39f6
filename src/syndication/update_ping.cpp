// Update pings: server list, throttle, the send with its result table, and the UP, PW, SU pages.
#include "syndication/update_ping.h"

#include <algorithm>

#include "app/Unit1.h"
#include "net/DBaseSocket.h"
#include "net/httpclient.h"
#include "render/page_parts.h"
#include "store/DCSVList.h"
#include "store/file_access.h"
#include "syndication/net_settings.h"
#include "text/DHTMLTag.h"
#include "text/DString.h"
#include "text/dates.h"
#include "text/jconvert.h"

namespace {

const char* const kNoType = "更新Pingタイプが未指定の為ご利用できません";

TPostCode PostCodeOf(const std::string& encoding) {
  const std::string e = UpperCase(encoding);
  if (e == "JIS") return pcJIS;
  if (e == "SJIS") return pcSJIS;
  if (e == "EUC") return pcEUC;
  return pcUTF8;
}

// An answer's text in Shift_JIS: by the XML declaration's encoding, else UTF-8 when it is UTF-8.
std::string AnswerText(const std::string& bytes) {
  std::string encoding;
  for (const auto& t : GetTagList(bytes)) {
    const std::string tag = TagText(bytes, t);
    if (UpperCase(tag.substr(0, 5)) == "<?XML") encoding = UpperCase(GetOptionValue(tag, "encoding"));
    break;
  }
  if (encoding.find("SHIFT_JIS") != std::string::npos || encoding.find("SJIS") != std::string::npos) return bytes;
  if (encoding.find("EUC-JP") != std::string::npos) return EucToSjis(bytes);
  return IsValidUtf8(bytes) ? Utf8ToSjis(bytes) : bytes;
}

std::string LastPingPath(const std::string& folder) { return folder + "lastupdateping.txt"; }

// The owner's pages: the administration frame, the settings cell with content, the page end.
void AdminPage(TWebModule1& m, const TStringList& content) {
  TStringList page;
  m.AdminFrame(page);
  page.push_back("</td><td class=\"settingcell\">");
  page.insert(page.end(), content.begin(), content.end());
  page.push_back("</td></tr>");
  page.push_back("</table></div></body></html>");
  m.Response.SetContent(PageText(page));
}

// One field of the settings form, kept to one line and fit for a record field.
std::string FormValue(TWebModule1& m, const std::string& name) {
  std::string v = m.Request.ContentFieldValue(name);
  std::string out;
  for (char c : v)
    if (c != '\r' && c != '\n' && c != '"' && c != '\t' && c != '\0') out += c;
  return Trim(out);
}

}  // namespace

TUpdatePingServerList LoadUpdatePingServers(const std::string& accountFolder) {
  TUpdatePingServerList list(kUpdatePingSlots);
  TStringList lines;
  LoadLinesFromFile(accountFolder + "updateping.txt", lines);
  TCSVList csv;
  for (size_t i = 0; i < lines.size() && i < list.size(); ++i) {
    csv.SetLine(lines[i]);
    if (csv.Count() != 3) continue;
    list[i] = {csv.Item(0) != "0", csv.Item(1), csv.Item(2)};
  }
  return list;
}

void MinutesSinceLastPing(const TSystemSettings& sys, const std::string& accountFolder, int& minutes,
                          std::string& lastText) {
  const std::string path = LastPingPath(accountFolder);
  const TDateTime now = Now();
  if (!FileExists(path)) {
    minutes = sys.UPDATEPINGSENDSPAMTIME;
    lastText = FormatStamp(now);
    return;
  }
  lastText = ReadFirstLine(path, "");
  const long long seconds = static_cast<long long>(ToUnix(now)) - static_cast<long long>(ToUnix(ParseStamp(lastText)));
  // A time in the future (a clock set back) does not hold sending off until that time comes.
  minutes = seconds < 0 ? sys.UPDATEPINGSENDSPAMTIME : static_cast<int>(std::min<long long>(seconds / 60, 1 << 30));
}

void PingAnswerCells(const std::string& statusLine, const TStringList& headerLines, const std::string& body,
                     std::string& result, std::string& message) {
  if (statusLine.find("200") == std::string::npos) {
    result.clear();
    message = Escape(statusLine);
    return;
  }
  const std::string text = AnswerText(body);
  result = RemoveTags(XmlRpcMemberValue(text, "flerror"));
  if (result.empty()) result = RemoveTags(XmlRpcMemberValue(text, "faultCode"));
  // The answer comes from another site: its markup is not carried into the owner's page.
  message = RemoveTags(XmlRpcMemberValue(text, "message"));
  if (message.empty()) message = RemoveTags(XmlRpcMemberValue(text, "faultString"));
  result = Escape(Trim(result));
  message = Escape(Trim(message));
  if (!result.empty() && !message.empty()) return;
  const TStringList bodyLines = SplitLines(text);
  if (!bodyLines.empty()) {
    message = "<span style=\"color:blue; font-weight:bold\">";
    for (const auto& l : bodyLines) message += Escape(l) + "<br>";
  } else if (!headerLines.empty()) {
    message = "<span style=\"color:red; font-weight:bold\">";
    for (const auto& l : headerLines) message += Escape(l) + "<br>";
  } else {
    message = "<span style=\"color:red; font-weight:bold\">" + Escape(statusLine);
  }
  message += "</span>";
}

std::string SendUpdatePings(const TSystemSettings& sys, const std::string& accountFolder, const std::string& blogTitle,
                            const std::string& blogURL) {
  const TUpdatePingServerList servers = LoadUpdatePingServers(accountFolder);
  if (sys.UpdatePingXML.empty()) return kNoType;
  int minutes = 0;
  std::string last;
  MinutesSinceLastPing(sys, accountFolder, minutes, last);
  const int limit = sys.UPDATEPINGSENDSPAMTIME;
  if (limit != 0 && minutes < limit)
    return std::string("前回の送信から送信出来る時間を過ぎていません。") + " " + "残り" + " " +
           std::to_string(limit - minutes) + "分";

  std::string out = "<span style=\"color:blue\">前回の送信日付 : " + last + " (" + std::to_string(minutes) + " " +
                    "分" + ")</span><br>" +
                    "<table border=\"1\" style=\"font-size:x-small; border-collapse:collapse\" cellpadding=\"3\">" +
                    "<col style=\"text-align:right\"><col><col style=\"background-color:#f0f0f0\"><col><col>" +
                    "<tr><td>No</td><td>Name</td><td>Server</td><td>Result</td><td>Message</td></tr>";
  // The servers share one deadline: ten dead servers cannot hold the page for minutes.
  const long long endMs = MonotonicMs() + static_cast<long long>(sys.NETTIMEOUT * 1000.0);
  for (size_t i = 0; i < servers.size(); ++i) {
    const TUpdatePingServer& slot = servers[i];
    if (!slot.Enabled) continue;
    // An empty address takes the fixed address of the first matching type and keeps it.
    std::string address = slot.Address;
    for (const TUpdatePingXML& type : sys.UpdatePingXML) {
      if (type.Field[0] != slot.Type) continue;
      if (address.empty()) address = type.Field[6];
      THTTPClient c;
      ConfigureHTTPClient(c, sys, TNetUse::OwnerAction);
      const double left = static_cast<double>(endMs - MonotonicMs()) / 1000.0;
      if (c.Deadline > 0) c.Deadline = std::max(0.001, std::min(c.Deadline, left));
      c.Port = 80;
      c.CreateLog();
      c.Method = mtCustomPost;
      c.RequestHTTPVersion = type.Field[1];
      c.UserAgent = type.Field[2];
      c.PostContentType = type.Field[3];
      c.PostCode = PostCodeOf(type.Field[5]);
      c.ConnectRetryCount = 5;
      c.ConnectRetryTime = 10;
      c.TestSent = false;
      c.CustomPostContent =
          ReplaceAllText(ReplaceAllText(type.Field[4], "<velmtitle>", blogTitle), "<velmpath>", blogURL);
      c.SetURL(address);
      c.Log(FormatStamp(Now()) + " - " + address);
      c.Log(c.CustomPostContent);
      c.Log(c.ServerResult().StatusLine);
      std::string result, message;
      PingAnswerCells(c.ServerResult().StatusLine, c.HeaderLines(), c.BodyBuffer(), result, message);
      out += "<tr><td>" + std::to_string(i + 1) + "</td><td>" + Escape(type.Field[0]) + "</td><td>" + Escape(address) +
             "</td><td>" + result + "</td><td>" + message + "</td></tr>";
    }
  }
  out += "</table>";
  SaveTextToFile(LastPingPath(accountFolder), FormatStamp(Now()) + "\r\n", 100, 500);
  return out;
}

std::string SendUpdatePings(TWebModule1& m) {
  return SendUpdatePings(m.Sys, m.AccountFolder(), m.Account.Title, m.BlogURL());
}

int TWebModule1::DoUpdatePingPage(const TCommandEntry&) {
  TStringList c;
  if (Sys.UpdatePingXML.empty()) {
    c.push_back(kNoType);
    AdminPage(*this, c);
    return 1;
  }
  const TUpdatePingServerList servers = LoadUpdatePingServers(AccountFolder());
  const int limit = Sys.UPDATEPINGSENDSPAMTIME;
  if (limit != 0) {
    int minutes = 0;
    std::string last;
    MinutesSinceLastPing(Sys, AccountFolder(), minutes, last);
    const int left = limit - minutes;
    c.push_back("<span style=\"color:blue\">前回の送信日付 : " + last + " (" + std::to_string(minutes) + " " + "分" +
                ")</span> " + (left >= 0 ? std::string("残り") + " " + std::to_string(left) + "分" : "送信可能") + "<br>");
  }
  c.push_back("<form style=\"margin:0px\" method=\"post\" action=\"./velm.exe?" + Account.Id + "+pw\">");
  c.push_back("<table border=\"1\" style=\"border-collapse:collapse; font-size:x-small\">");
  c.push_back("<col style=\"text-align:right\"><col><col style=\"background-color:#f0f0f0\">");
  c.push_back("<tr><td>No</td><td></td><td>更新Ping サーバ URL</td><td>書式</td></tr>");
  for (size_t i = 0; i < servers.size(); ++i) {
    const TUpdatePingServer& s = servers[i];
    const std::string n = std::to_string(i);
    std::string row = "<tr><td>" + std::to_string(i + 1) + "</td><td><input type=\"checkbox\" name=\"upe" + n +
                      "\" value=\"1\"" + (s.Enabled ? " checked" : "") + "></td>";
    std::string fixed;
    for (const auto& t : Sys.UpdatePingXML)
      if (t.Field[0] == s.Type && !t.Field[6].empty()) {
        fixed = t.Field[6];
        break;
      }
    if (!fixed.empty())
      row += "<td style=\"background-color:#f0fff0\">" + Escape(fixed) + "</td>";
    else
      row += "<td><input type=\"text\" name=\"upu" + n + "\" value=\"" + EscapeAttribute(s.Address) +
             "\" style=\"width:250px\"></td>";
    row += "<td><select name=\"upf" + n + "\">";
    row += "<option value=\"\" style=\"color:silver\">更新Pingの方式を選択して下さい</option>";
    for (const auto& t : Sys.UpdatePingXML) {
      const std::string name = EscapeAttribute(t.Field[0]);
      row += t.Field[0] == s.Type ? "<option value=\"" + name + "\" selected style=\"color:blue\">" + name + "</option>"
                                  : "<option value=\"" + name + "\">" + name + "</option>";
    }
    c.push_back(row + "</select></td></tr>");
  }
  c.push_back("</table>");
  c.push_back("<input type=\"submit\" value=\"上記の内容に変更します\"></form>");
  c.push_back("<hr><form style=\"margin:0px\" method=\"post\" action=\"./velm.exe?" + Account.Id + "+su\">");
  c.push_back("<input type=\"submit\" value=\"更新Pingを送信\"><br>"
              "設定を変更した場合は「上記の内容に変更します」で保存してから送信して下さい</form>");
  AdminPage(*this, c);
  return 1;
}

int TWebModule1::DoUpdatePingSave(const TCommandEntry& entry) {
  // Only a posted form changes the list: a plain visit of +pw shows the settings.
  if (!SameText(Request.Method(), "POST")) return DoUpdatePingPage(entry);
  TStringList lines;
  for (int i = 0; i < kUpdatePingSlots; ++i) {
    const std::string n = std::to_string(i);
    lines.push_back(MakeRecordLine({FormValue(*this, "upe" + n) == "1" ? "1" : "0", FormValue(*this, "upu" + n),
                                    FormValue(*this, "upf" + n)}));
  }
  TStringList c;
  if (SaveLinesToFile(AccountFolder() + "updateping.txt", lines))
    c.push_back("更新Pingの設定を更新しました。<br>更新Pingを送信する場合は再度「更新Ping」から実行を行って下さい。");
  else
    c.push_back("<span style=\"color:red\">更新Pingの設定を保存できませんでした</span>");
  AdminPage(*this, c);
  return 1;
}

int TWebModule1::DoUpdatePingSend(const TCommandEntry&) {
  AdminPage(*this, {SendUpdatePings(*this)});
  return 1;
}
