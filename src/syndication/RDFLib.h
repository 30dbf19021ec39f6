// TRDFFormat: the tolerant reader of RSS 1.0, RSS 2.0 and Atom documents and the renderer of
// their items through a one-line template.
//
// Use:
//   TRDFFormat f;
//   if (!f.Detect(raw)) ...;          // an XML declaration, and the dialect
//   f.Parse(shiftJisText);            // channels and items (raw element text, no entities decoded)
//   f.ItemTemplate = "<shortdate> <a href=\"<LINK>\"><TITLE></a><br>";
//   f.ItemLimit = 5; f.EscapeTitle = true;
//   TStringList lines; f.Render(0, lines);   // header, all items in one line, footer
#pragma once
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

class TRDFObject {
public:
  virtual ~TRDFObject() = default;
  std::string About;
};

class TRDFItemFormat : public TRDFObject {
public:
  std::string Title, Link, Description, Creator, Date, Category;
};

class TRDFChannelFormat : public TRDFObject {
public:
  std::string Title, Link, Description, Language, Updated, Id, SelfLink;
  TStringList Resources;  // the rdf:li resources of an RSS 1.0 channel
  std::vector<TRDFItemFormat> Items;
};

class TRDFFormat {
public:
  std::string XMLVersion, Encoding, Namespace;
  int Dialect = 0;                 // 1 RSS family, 2 Atom
  std::string RSSVersion = "1.0";  // from <rss version="...">
  std::vector<TRDFChannelFormat> Channels;

  // Templates: the text, or the file it names when that file exists.
  std::string HeaderTemplate, ItemTemplate, FooterTemplate;
  std::string HeaderFile, ItemFile, FooterFile;
  int ItemLimit = 0;               // 0: every item
  bool EscapeTitle = false;        // HTML-escape titles (& < > ")
  bool StripDescription = true;    // remove markup from descriptions

  bool Detect(const std::string& text);
  void Parse(const std::string& text);
  void Render(size_t channel, TStringList& lines) const;
  std::string RenderItem(const TRDFItemFormat& item, const std::string& itemTemplate) const;
};

// "Sat, 07 Sep 2002 09:42:31 GMT" -> "2002/09/07 09:42:31"; "" when it cannot be read.
std::string RFC822ToStamp(const std::string& date);
