// Comments (comment.txt) and trackbacks (trackback.txt, UTF-8 lines).
#pragma once
#include <functional>
#include <string>

#include "store/velmlib.h"

// Newest first; limit L > 0 stops after L + 1 records; 0 reads all. Walks from the end.
void LoadCommentList(const std::string& accountFolder, const std::string& articleId, bool includeHidden,
                     TCommentList& list, int limit);
// The same, taking only comments whose article id `keep` accepts (before the limit counts).
void LoadCommentList(const std::string& accountFolder, const std::string& articleId, bool includeHidden,
                     TCommentList& list, int limit, const std::function<bool(const std::string& logid)>& keep);
void CountComments(const std::string& accountFolder, const std::string& articleId, int& hidden, int& total);
// The comments of each article of ids (shown ones only unless includeHidden), in one pass over
// comment.txt read in blocks: the article lists count the comments of a page's articles.
std::vector<int> CountArticleComments(const std::string& accountFolder, const std::vector<std::string>& ids,
                                      bool includeHidden);
// Both counts of each article of ids: the shown comments and all of them.
void CountArticleComments(const std::string& accountFolder, const std::vector<std::string>& ids, std::vector<int>& shown,
                          std::vector<int>& all);
// One article's pings are read through trackback.idx (made anew when stale), so a page costs
// the same however many pings other articles have; an empty id reads all, in blocks.
void LoadTrackBackList(const std::string& accountFolder, const std::string& articleId, TTrackBackList& list);
// The number of pings (hidden ones too) of each article of ids.
std::vector<int> CountArticleTrackBacks(const std::string& accountFolder, const std::vector<std::string>& ids);

// The rewrites hold the file's lock from the read to the atomic replacement; a file left
// without lines is deleted. DeleteComment/ApproveComment/DeleteTrackBack: true when the line
// was found and the file written; the others: false only when the file could not be rewritten.
bool AppendComment(const std::string& accountFolder, const std::string& line);
bool DeleteComment(const std::string& accountFolder, const std::string& articleId, const std::string& commentId);
bool ApproveComment(const std::string& accountFolder, const std::string& articleId, const std::string& commentId);
bool DeleteArticleComments(const std::string& accountFolder, const std::string& articleId);
bool DeleteCategoryComments(const std::string& accountFolder, const std::string& categoryId);
// Appends a received ping's line under the lock (no rewrite of the file).
bool AppendTrackBack(const std::string& accountFolder, const std::string& utf8Line);
bool DeleteTrackBack(const std::string& accountFolder, const std::string& trackbackId);
// The owner's delete: the line nearest the end with this trackback id and article id;
// receivedDate gets its receiving time (for the page's message).
bool DeleteTrackBack(const std::string& accountFolder, const std::string& trackbackId, const std::string& articleId,
                     std::string& receivedDate);
