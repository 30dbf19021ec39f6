// The owner's pages inside the administration frame.
#include "admin/admin_page.h"

#include "render/page_parts.h"
#include "text/DString.h"

const char* const kCloseEditorPage = "</td></tr></table></div></body></html>";
const char* const kCloseListPage = "</td></tr></table></body></html>";

TAdminPage::TAdminPage(TWebModule1& m) : M(m) {
  M.AdminFrame(FLines);
  FLines.push_back("</td><td class=\"settingcell\">");
}

void TAdminPage::Finish(const char* closing) {
  FLines.push_back(closing);
  M.Response.SetContent(PageText(FLines));
}

std::string Colored(const std::string& color, const std::string& text) {
  return "<span style=\"color:" + color + "\">" + text + "</span>";
}

std::string TextArea(const std::string& name, int cols, int rows, const std::string& text) {
  // The line break after the opening tag is dropped by the browser, so a text that begins with
  // an empty line keeps it.
  return "<textarea name=\"" + name + "\" cols=\"" + std::to_string(cols) + "\" rows=\"" + std::to_string(rows) +
         "\">\r\n" + EscapeAttribute(text) + "</textarea>";
}
