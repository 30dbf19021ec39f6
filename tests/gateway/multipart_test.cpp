// multipart/form-data scans on whole and damaged bodies.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "gateway/multipart.h"

namespace {

const std::string kType = "multipart/form-data; boundary=----WebKitFormBoundaryAbC";
const std::string kDelim = "------WebKitFormBoundaryAbC";
const std::string kJpeg("\xFF\xD8\r\n\r\x00\xFF\xD9", 8);

std::string Part(const std::string& disposition, const std::string& data, const std::string& type = "") {
  return kDelim + "\r\nContent-Disposition: form-data; " + disposition + (type.empty() ? "" : "\r\nContent-Type: " + type) +
         "\r\n\r\n" + data + "\r\n";
}

const std::string kForm = Part("name=\"title\"", "\r\n\r\n表示・ソフト") + Part("name=\"body\"", "line1\r\nline2") +
                          Part("name=\"nofile\"; filename=\"a.txt\"", "no type") +
                          Part("name=\"upfile\"; filename=\"C:\\My Pictures\\写真.JPG\"", kJpeg, "image/jpeg") +
                          Part("name=\"Title\"", "last wins") + Part("name=\"empty\"", "") + kDelim + "--\r\n";

TEST(Multipart, FieldsAndFileOfAWholeForm) {
  // Leading breaks dropped, all breaks dropped without the flag, last part of a name wins.
  EXPECT_EQ(ReadMultipartField(kForm, "body", kType, false), "line1line2");
  EXPECT_EQ(ReadMultipartField(kForm, "BODY", kType, true), "line1\r\nline2\r\n");
  EXPECT_EQ(ReadMultipartField(kForm, "title", kType, false), "last wins");
  EXPECT_EQ(ReadMultipartField(kForm, "empty", kType, true), "");
  EXPECT_EQ(ReadMultipartField(kForm, "body", "MULTIPART/FORM-DATA; BOUNDARY=----WebKitFormBoundaryAbC", false),
            "line1line2");
  EXPECT_EQ(ReadMultipartField(Part("name=\"title\"", "\r\n表示・ソフト") + kDelim + "--", "title", kType, true),
            "表示・ソフト\r\n");
  // The rest of the disposition line belongs to the value as the scan defines it.
  EXPECT_EQ(ReadMultipartField(kForm, "nofile", kType, false), "; filename=\"a.txt\"no type");

  TUploadFileinfo f = LocateMultipartFile(kForm, "UPFILE");
  EXPECT_EQ(f.FieldName, "upfile");
  EXPECT_EQ(f.FileName, "C:\\My Pictures\\写真.JPG");
  EXPECT_EQ(f.ContentType, "image/jpeg");
  EXPECT_EQ(MultipartData(kForm, f.DataStart, f.DataSize), kJpeg);
  EXPECT_EQ(kForm.substr(static_cast<size_t>(f.DataStart - 1), 2), "\xFF\xD8");  // 1-based
  EXPECT_EQ(MultipartData("abcdef", 5, 100), "ef");
  EXPECT_EQ(MultipartData("abcdef", 0, 3) + MultipartData("abcdef", 7, 1), "");
  // A file input left empty: found, no data.
  TUploadFileinfo e = LocateMultipartFile(
      Part("name=\"upfile\"; filename=\"\"", "", "application/octet-stream") + kDelim + "--\r\n", "upfile");
  EXPECT_EQ(e.FileName, "");
  EXPECT_EQ(e.DataSize, 0);
}

TEST(Multipart, OddBodiesGiveNothing) {
  for (const std::string type : {"multipart/form-data", "multipart/form-data; boundary=",
                                 "multipart/form-data; boundary=\"----WebKitFormBoundaryAbC\""})
    EXPECT_EQ(ReadMultipartField(kForm, "title", type, false), "") << type;
  EXPECT_EQ(ReadMultipartField("title=abc&body=x", "title", "application/x-www-form-urlencoded", false), "");
  // A part that never reaches the next delimiter has no value.
  EXPECT_EQ(ReadMultipartField(kDelim + "\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nhalf", "title",
                               kType, false), "");
  EXPECT_EQ(ReadMultipartField(kDelim + "\r\nContent-Disposition: form-data; name=\"tit", "title", kType, false), "");

  const std::string head = kDelim + "\r\nContent-Disposition: form-data; name=\"upfile\"; filename=\"a.jpg\"\r\n"
                                    "Content-Type: image/jpeg\r\n\r\n";
  // Not a file: no Content-Type line, a text part whose data looks like headers, unended or cut parts.
  for (const char* name : {"nofile", "title", "missing"}) EXPECT_EQ(LocateMultipartFile(kForm, name).DataSize, 0) << name;
  for (const std::string& body : {Part("name=\"upfile\"", "Content-Type: x/y\r\n\r\nzz") + kDelim + "--",
                                  head + "data without end", head, head.substr(0, head.size() - 3),
                                  kDelim + "\r\n\r\n" + kDelim + "--", std::string("a=1&b=2"), std::string()})
    EXPECT_EQ(LocateMultipartFile(body, "upfile").DataSize, 0) << body;

  std::mt19937 rng(99);
  for (int i = 0; i < 400; ++i) {
    std::string b = kForm.substr(0, rng() % (kForm.size() + 1));
    if (i % 2 && !b.empty()) b[rng() % b.size()] ^= 0x20;
    TUploadFileinfo f = LocateMultipartFile(b, "upfile");
    EXPECT_LE(f.DataStart - 1 + f.DataSize, static_cast<long long>(b.size()));
    ReadMultipartField(b, "title", kType, i % 3 == 0);
  }
}

TEST(Multipart, UnsafeFileNamesRefused) {
  // A "\" that is the second byte of a Shift_JIS character stays in the name; "/" is never one.
  for (const auto& [name, base] : {std::pair{"C:\\My Pictures\\写真.JPG", "写真.JPG"}, {"/home/u/pic.png", "pic.png"},
                                   {"C:pic.gif", "pic.gif"}, {"C:\\表示.jpg", "表示.jpg"}, {"ソフト\\x.jpg", "x.jpg"},
                                   {"\x82/../../x.jpg", "x.jpg"}})
    EXPECT_EQ(UploadFileBaseName(name), base) << name;
  for (const char* bad : {"", ".", "..", ".htaccess", "C:\\dir\\", "a/..", "a\\.hidden"})
    EXPECT_EQ(UploadFileBaseName(bad), "") << bad;
  EXPECT_EQ(UploadFileBaseName(std::string("a\0b", 3)), "");

  namespace fs = std::filesystem;
  char tmpl[] = "/tmp/velm-mp-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = std::string(tmpl) + "/";
  const TUploadFileinfo f = LocateMultipartFile(kForm, "upfile");
  std::ofstream(dir + "写真.JPG") << "old content that is longer";
  EXPECT_TRUE(StoreMultipartFile(kForm, dir, f.FileName, f.DataSize, f.DataStart));
  std::stringstream got;
  got << std::ifstream(dir + "写真.JPG", std::ios::binary).rdbuf();
  EXPECT_EQ(got.str(), kJpeg);
  EXPECT_TRUE(StoreMultipartFile(kForm, tmpl, "sub\\plain.bin", f.DataSize, f.DataStart));
  EXPECT_TRUE(fs::exists(dir + "plain.bin"));
  for (const char* bad : {"..", "C:\\.htaccess"}) EXPECT_FALSE(StoreMultipartFile(kForm, dir, bad, f.DataSize, f.DataStart));
  EXPECT_FALSE(StoreMultipartFile(kForm, dir + "no/such/folder/", "x.jpg", f.DataSize, f.DataStart));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  fs::remove_all(dir);
}

}  // namespace
