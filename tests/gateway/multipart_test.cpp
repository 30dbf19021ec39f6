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

std::string Part(const std::string& headers, const std::string& data) {
  return kDelim + "\r\n" + headers + "\r\n\r\n" + data + "\r\n";
}

std::string Form() {
  return Part("Content-Disposition: form-data; name=\"title\"", "\r\n\r\n表示・ソフト") +
         Part("Content-Disposition: form-data; name=\"body\"", "line1\r\nline2") +
         Part("Content-Disposition: form-data; name=\"nofile\"; filename=\"a.txt\"", "no type") +
         Part("Content-Disposition: form-data; name=\"upfile\"; filename=\"C:\\My Pictures\\写真.JPG\"\r\n"
              "Content-Type: image/jpeg",
              std::string("\xFF\xD8\r\n\r\x00\xFF\xD9", 8)) +
         Part("Content-Disposition: form-data; name=\"Title\"", "last wins") +
         Part("Content-Disposition: form-data; name=\"empty\"", "") + kDelim + "--\r\n";
}

TEST(Multipart, ReadField) {
  const std::string body = Form();
  // Leading breaks dropped, all breaks dropped without the flag, last part of a name wins.
  EXPECT_EQ(ReadMultipartField(body, "body", kType, false), "line1line2");
  EXPECT_EQ(ReadMultipartField(body, "BODY", kType, true), "line1\r\nline2\r\n");
  EXPECT_EQ(ReadMultipartField(body, "title", kType, false), "last wins");
  EXPECT_EQ(ReadMultipartField(body, "empty", kType, true), "");
  EXPECT_EQ(ReadMultipartField(body, "missing", kType, false), "");
  EXPECT_EQ(ReadMultipartField(body, "body", "MULTIPART/FORM-DATA; BOUNDARY=----WebKitFormBoundaryAbC", false),
            "line1line2");

  const std::string one = Part("Content-Disposition: form-data; name=\"title\"", "\r\n表示・ソフト") + kDelim + "--";
  EXPECT_EQ(ReadMultipartField(one, "title", kType, true), "表示・ソフト\r\n");
  // The rest of the disposition line belongs to the value as the scan defines it.
  EXPECT_EQ(ReadMultipartField(body, "nofile", kType, false), "; filename=\"a.txt\"no type");
}

TEST(Multipart, ReadFieldWithoutUsableBoundaryOrBody) {
  const std::string body = Form();
  EXPECT_EQ(ReadMultipartField("", "title", kType, false), "");
  EXPECT_EQ(ReadMultipartField(body, "title", "multipart/form-data", false), "");
  EXPECT_EQ(ReadMultipartField(body, "title", "multipart/form-data; boundary=", false), "");
  EXPECT_EQ(ReadMultipartField(body, "title", "multipart/form-data; boundary=\"----WebKitFormBoundaryAbC\"", false), "");
  EXPECT_EQ(ReadMultipartField("title=abc&body=x", "title", "application/x-www-form-urlencoded", false), "");
  // A part that never reaches the next delimiter has no value.
  const std::string cut = kDelim + "\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\nhalf";
  EXPECT_EQ(ReadMultipartField(cut, "title", kType, false), "");
  EXPECT_EQ(ReadMultipartField(kDelim + "\r\nContent-Disposition: form-data; name=\"tit", "title", kType, false), "");
}

TEST(Multipart, LocateFile) {
  const std::string body = Form();
  TUploadFileinfo f = LocateMultipartFile(body, "UPFILE");
  EXPECT_EQ(f.FieldName, "upfile");
  EXPECT_EQ(f.FileName, "C:\\My Pictures\\写真.JPG");
  EXPECT_EQ(f.ContentType, "image/jpeg");
  EXPECT_EQ(f.DataSize, 8);
  EXPECT_EQ(MultipartData(body, f.DataStart, f.DataSize), std::string("\xFF\xD8\r\n\r\x00\xFF\xD9", 8));
  EXPECT_EQ(body.substr(static_cast<size_t>(f.DataStart - 1), 2), "\xFF\xD8");  // 1-based
  EXPECT_EQ(MultipartData("abcdef", 5, 100), "ef");
  EXPECT_EQ(MultipartData("abcdef", 0, 3) + MultipartData("abcdef", 7, 1), "");

  EXPECT_EQ(LocateMultipartFile(body, "nofile").DataSize, 0);  // no Content-Type line: not a file
  EXPECT_EQ(LocateMultipartFile(body, "title").DataSize, 0);
  EXPECT_EQ(LocateMultipartFile(body, "missing").DataSize, 0);
  EXPECT_EQ(LocateMultipartFile("a=1&b=2", "upfile").DataSize, 0);
  EXPECT_EQ(LocateMultipartFile("", "upfile").DataSize, 0);

  // A file input left empty: found, no data.
  const std::string empty = Part("Content-Disposition: form-data; name=\"upfile\"; filename=\"\"\r\n"
                                 "Content-Type: application/octet-stream", "") + kDelim + "--\r\n";
  TUploadFileinfo e = LocateMultipartFile(empty, "upfile");
  EXPECT_EQ(e.FileName, "");
  EXPECT_EQ(e.DataSize, 0);
}

TEST(Multipart, LocateFileOnDamagedBodies) {
  const std::string head = kDelim + "\r\nContent-Disposition: form-data; name=\"upfile\"; filename=\"a.jpg\"\r\n"
                                    "Content-Type: image/jpeg\r\n\r\n";
  EXPECT_EQ(LocateMultipartFile(head + "data without end", "upfile").DataSize, 0);
  EXPECT_EQ(LocateMultipartFile(head, "upfile").DataSize, 0);
  EXPECT_EQ(LocateMultipartFile(head.substr(0, head.size() - 3), "upfile").DataSize, 0);
  EXPECT_EQ(LocateMultipartFile(kDelim + "\r\n\r\n" + kDelim + "--", "upfile").DataSize, 0);
  // A data line that looks like a header does not make a text part a file.
  const std::string text = Part("Content-Disposition: form-data; name=\"upfile\"", "Content-Type: x/y\r\n\r\nzz") +
                           kDelim + "--";
  EXPECT_EQ(LocateMultipartFile(text, "upfile").DataSize, 0);

  std::mt19937 rng(99);
  const std::string whole = Form();
  for (int i = 0; i < 400; ++i) {
    std::string b = whole.substr(0, rng() % (whole.size() + 1));
    if (i % 2 && !b.empty()) b[rng() % b.size()] ^= 0x20;
    TUploadFileinfo f = LocateMultipartFile(b, "upfile");
    EXPECT_LE(f.DataStart - 1 + f.DataSize, static_cast<long long>(b.size()));
    ReadMultipartField(b, "title", kType, i % 3 == 0);
  }
}

TEST(Multipart, UploadFileBaseName) {
  EXPECT_EQ(UploadFileBaseName("C:\\My Pictures\\写真.JPG"), "写真.JPG");
  EXPECT_EQ(UploadFileBaseName("/home/u/pic.png"), "pic.png");
  EXPECT_EQ(UploadFileBaseName("C:pic.gif"), "pic.gif");
  EXPECT_EQ(UploadFileBaseName("plain.jpg"), "plain.jpg");
  // A "\" that is the second byte of a Shift_JIS character stays in the name.
  EXPECT_EQ(UploadFileBaseName("C:\\表示.jpg"), "表示.jpg");
  EXPECT_EQ(UploadFileBaseName("ソフト\\x.jpg"), "x.jpg");
  EXPECT_EQ(UploadFileBaseName("\x82/../../x.jpg"), "x.jpg");  // "/" is never a second byte
  for (const char* bad : {"", ".", "..", ".htaccess", "C:\\dir\\", "a/..", "a\\.hidden"})
    EXPECT_EQ(UploadFileBaseName(bad), "") << bad;
  EXPECT_EQ(UploadFileBaseName(std::string("a\0b", 3)), "");
}

TEST(Multipart, StoreFile) {
  namespace fs = std::filesystem;
  char tmpl[] = "/tmp/velm-mp-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = std::string(tmpl) + "/";
  const std::string body = Form();
  TUploadFileinfo f = LocateMultipartFile(body, "upfile");

  std::ofstream(dir + "写真.JPG") << "old content that is longer";
  EXPECT_TRUE(StoreMultipartFile(body, dir, f.FileName, f.DataSize, f.DataStart));
  std::ifstream in(dir + "写真.JPG", std::ios::binary);
  std::stringstream got;
  got << in.rdbuf();
  EXPECT_EQ(got.str(), std::string("\xFF\xD8\r\n\r\x00\xFF\xD9", 8));

  EXPECT_TRUE(StoreMultipartFile(body, std::string(tmpl), "sub\\plain.bin", f.DataSize, f.DataStart));
  EXPECT_TRUE(fs::exists(dir + "plain.bin"));
  EXPECT_FALSE(StoreMultipartFile(body, dir, "..", f.DataSize, f.DataStart));
  EXPECT_FALSE(StoreMultipartFile(body, dir, "C:\\.htaccess", f.DataSize, f.DataStart));
  EXPECT_FALSE(StoreMultipartFile(body, dir + "no/such/folder/", "x.jpg", f.DataSize, f.DataStart));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  fs::remove_all(dir);
}

}  // namespace
