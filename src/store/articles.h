// Article index (cindex.txt), article bodies, attachment lists and the side files.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/prefaulted.h"
#include "store/velmlib.h"

// Newest first. dateFilter: "" all, 6 chars yyyymm, 8 chars yyyymmdd, other lengths nothing.
void LoadContentList(const std::string& accountFolder, const std::string& categoryFilter,
                     bool includeHiddenCategories, bool countPerCategory, bool includeHidden,
                     TContentList& list, TCategoryList& categories, const std::string& dateFilter);
// The newest `limit` articles that LoadContentList selects without hidden categories and
// articles; the walk from the end stops there, so the cost does not grow with the index.
void LoadNewestContentList(const std::string& accountFolder, const std::string& categoryFilter,
                           const TCategoryList& categories, size_t limit, TContentList& list);
void LoadPhotoContentList(const std::string& accountFolder, const std::string& categoryFilter,
                          bool firstOnly, bool includeHidden, TContentList& list,
                          const std::string& dateFilter);
bool FindContent(const std::string& accountFolder, const std::string& id, TContentIndex& content);

// One index line's fields as views into the index text that its TContentRefList keeps.
struct TContentRef {
  std::string_view category, id, date, update, title;
  bool visible = true;
};
TContentIndex ToContentIndex(const TContentRef& r);

// The index read once for a page, newest first, without a copy of each field: the public pages
// walk tens of thousands of articles for their menus and lists.
class TContentRefList {
public:
  using TItems = std::vector<TContentRef, TPrefaultedAllocator<TContentRef>>;
  using const_iterator = TItems::const_iterator;
  const_iterator begin() const { return FItems.begin(); }
  const_iterator end() const { return FItems.end(); }
  size_t size() const { return FItems.size(); }
  bool empty() const { return FItems.empty(); }
  const TContentRef& operator[](size_t i) const { return FItems[i]; }
  // Views of a list made elsewhere (it is kept with them).
  static TContentRefList Of(TContentList contents);

private:
  friend void LoadContentRefs(const std::string&, bool, bool, bool, TContentRefList&, TCategoryList&);
  TItems FItems;
  std::shared_ptr<void> FStore;  // the text the views point into
};
// What LoadContentList gives without filters, as views.
void LoadContentRefs(const std::string& accountFolder, bool includeHiddenCategories, bool countPerCategory,
                     bool includeHidden, TContentRefList& list, TCategoryList& categories);

std::string LoadArticleBody(const std::string& accountFolder, const std::string& id);
TStringList LoadAttachNames(const std::string& accountFolder, const std::string& id);   // <id>.iix lines
TAttachFileList LoadAttachFileList(const std::string& accountFolder, const std::string& id,
                                   const std::string& imageFolder);                      // token "EXISTS"
TAttachFileList LoadWorkAttachList(const std::string& accountFolder, const std::string& imageFolder);

// Id of a new article saved at the stored timestamp `stamp`; when that id is taken, the stamp is
// stepped forward a second at a time (stamp is updated to the one used).
std::string NewArticleId(const std::string& accountFolder, std::string& stamp);
std::string ArticleIdOf(const std::string& stamp);  // SHA-1 of the stamp, 40 lower-case hex

// Index rewrites (locked, atomic). sortByDate: USEEDITDATE= on.
bool AddContentIndex(const std::string& accountFolder, const TContentIndex& c, bool sortByDate);
bool ModifyContentIndex(const std::string& accountFolder, const TContentIndex& c, bool sortByDate);
bool RemoveContentIndex(const std::string& accountFolder, const std::string& id);
// The delete cascade: index line, body (only when the index was rewritten), pictures
// <id>-<n><ext> (n 1..99, each upload-type extension in any letter case, and every name of the
// .iix), comments, .iix. False when the id is not in the index (nothing deleted).
bool DeleteContent(const std::string& accountFolder, const std::string& imageFolder,
                   const std::string& id, const TStringList& uploadExts);

void AppendViewLog(const std::string& accountFolder, const TContentIndex& c,
                   const std::string& userAgent, const std::string& referer);
// The cross-account new-article list: the file `name` (ALLNEWSNAME=; without a folder part it
// lies in exeFolder) keeps its last `count` lines (0 keeps all). Nothing is written when name
// is empty.
bool AppendAllNews(const std::string& exeFolder, const std::string& name, int count, const std::string& stamp,
                   const std::string& blogTitle, const std::string& articleTitle,
                   const std::string& accountId, const std::string& articleId);
