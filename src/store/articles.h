// Article index (cindex.txt), article bodies, attachment lists and the side files.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TIndexSummary;
#include "store/velmlib.h"

// Newest first. dateFilter: "" all, 6 chars yyyymm, 8 chars yyyymmdd, other lengths nothing.
void LoadContentList(const std::string& accountFolder, const std::string& categoryFilter,
                     bool includeHiddenCategories, bool countPerCategory, bool includeHidden,
                     TContentList& list, TCategoryList& categories, const std::string& dateFilter);
// The newest `limit` articles that LoadContentList selects without hidden categories and
// articles; the lazy list from the end stops there, so the cost does not grow with the index.
void LoadNewestContentList(const std::string& accountFolder, const std::string& categoryFilter,
                           const TCategoryList& categories, size_t limit, TContentList& list);
void LoadPhotoContentList(const std::string& accountFolder, const std::string& categoryFilter,
                          bool firstOnly, bool includeHidden, TContentList& list,
                          const std::string& dateFilter);
bool FindContent(const std::string& accountFolder, const std::string& id, TContentIndex& content);

// One index line's fields as views into the index text that its TContentRefList keeps. The
// five fields lie in order from `at`, `gap` bytes apart (the "," and quotes of a plain line);
// 32 bytes a line, as a page walks tens of thousands of them.
struct TContentRef {
  const char* at = nullptr;
  uint32_t len[5] = {};
  uint8_t gap = 0;
  bool visible = true;

  std::string_view category() const { return {at, len[0]}; }
  std::string_view id() const { return {Field(1), len[1]}; }
  std::string_view date() const { return {Field(2), len[2]}; }
  std::string_view update() const { return {Field(3), len[3]}; }
  std::string_view title() const { return {Field(4), len[4]}; }

private:
  const char* Field(int i) const {
    const char* p = at;
    for (int k = 0; k < i; ++k) p += len[k] + gap;
    return p;
  }
};
TContentIndex ToContentIndex(const TContentRef& r);

// The index of a page, newest first, read lazily from its end: a page of a large blog mostly
// wants its newest lines, and reads older ones only as far as it walks. The fields are views
// into the mapped index (kept, with its shared lock, as long as any copy of the list). Elements
// never move once read.
struct TRefStore;
class TContentRefList {
public:
  struct TEnd {};
  class const_iterator {
  public:
    const TContentRef& operator*() const { return (*FList)[FAt]; }
    const TContentRef* operator->() const { return &(*FList)[FAt]; }
    const_iterator& operator++() {
      ++FAt;
      return *this;
    }
    bool operator!=(TEnd) const { return FList->Has(FAt); }

  private:
    friend class TContentRefList;
    const_iterator(const TContentRefList* list, size_t at) : FList(list), FAt(at) {}
    const TContentRefList* FList;
    size_t FAt;
  };
  const_iterator begin() const { return {this, 0}; }
  TEnd end() const { return {}; }
  bool Has(size_t i) const;  // reads on until the list holds element i; false when it never will
  size_t size() const;       // reads the whole index
  bool empty() const { return !Has(0); }
  const TContentRef& operator[](size_t i) const;  // an element already read (Has(i))
  // Views of a list made elsewhere (it is kept with them).
  static TContentRefList Of(TContentList contents);

private:
  friend void LoadContentRefs(const std::string&, bool, bool, TContentRefList&, TCategoryList&, TIndexSummary*);
  std::shared_ptr<TRefStore> FStore;
};
// What LoadContentList gives without filters, as views. summary, when given, gets the month
// groups of the same lines (from cindex.sum while it names this index, else made and saved),
// with the counts of `categories` set from them.
void LoadContentRefs(const std::string& accountFolder, bool includeHiddenCategories, bool includeHidden,
                     TContentRefList& list, TCategoryList& categories, TIndexSummary* summary);

std::string LoadArticleBody(const std::string& accountFolder, const std::string& id);
TStringList LoadAttachNames(const std::string& accountFolder, const std::string& id);   // <id>.iix lines
TAttachFileList LoadAttachFileList(const std::string& accountFolder, const std::string& id,
                                   const std::string& imageFolder);                      // token "EXISTS"
TAttachFileList LoadWorkAttachList(const std::string& accountFolder, const std::string& imageFolder);

// Id of a new article saved at the stored timestamp `stamp`; when that id is taken, the stamp is
// stepped forward a second at a time (stamp is updated to the one used).
std::string NewArticleId(const std::string& accountFolder, std::string& stamp);
// NewArticleId with the id held at once by an empty <id>.txt, so that two saves of the same
// second (a form sent twice) never share an id. "" when the folder cannot be written.
std::string ReserveArticleId(const std::string& accountFolder, std::string& stamp);
std::string ArticleIdOf(const std::string& stamp);  // SHA-1 of the stamp, 40 lower-case hex

// Index rewrites (locked, atomic). sortByDate: USEEDITDATE= on.
bool AddContentIndex(const std::string& accountFolder, const TContentIndex& c, bool sortByDate);
bool ModifyContentIndex(const std::string& accountFolder, const TContentIndex& c, bool sortByDate);
enum class TIndexChange { Done, Missing, Failed };
// ModifyContentIndex with `work` run while the index's lock is held, once the article's line
// has been found; when work returns false the index stays as it was (Failed).
TIndexChange ChangeContentIndex(const std::string& accountFolder, const TContentIndex& c, bool sortByDate,
                                const std::function<bool()>& work);
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
