// The blog store: articles, categories, comments and trackbacks of one account.
#pragma once
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

struct TContentIndex {
  std::string category, id, date, update, title;
  bool visible = true;
};
using TContentList = std::vector<TContentIndex>;

struct TAttachFileData {
  std::string folder, name;
  int size = 0;
  std::string token;
};
using TAttachFileList = std::vector<TAttachFileData>;

struct TCategoryData {
  std::string id, name;
  int count = 0;
  bool visible = true;
};
using TCategoryList = std::vector<TCategoryData>;

struct TCommentIndex {
  std::string category, logid, id, date, name, comment;
  bool visible = true;
  std::string address;
};
using TCommentList = std::vector<TCommentIndex>;

struct TTrackBack {
  bool visible = false;
  std::string date, id, logid, blogname, title, excerpt, url;
};
using TTrackBackList = std::vector<TTrackBack>;

#include "store/articles.h"
#include "store/categories.h"
#include "store/comments.h"
