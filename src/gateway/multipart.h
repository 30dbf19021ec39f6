// multipart/form-data bodies: read a field, locate a file part, store it.
#pragma once
#include <string>

struct TUploadFileinfo {
  std::string FieldName, FileName, ContentType;
  long long DataStart = 0;  // 1-based position in the raw body
  long long DataSize = 0;   // 0 when no file part was found
};

std::string ReadMultipartField(const std::string& body, const std::string& name,
                               const std::string& contentType, bool keepLineBreaks);
TUploadFileinfo LocateMultipartFile(const std::string& body, const std::string& name);
// Last path component of a client file name ("\" and ":" and "/" cut); "" when refused
// (empty, ".", "..", or starting with ".").
std::string UploadFileBaseName(const std::string& fileName);
// Writes the data to folder + base name of fileName; false when refused or not written.
bool StoreMultipartFile(const std::string& body, const std::string& folder, const std::string& fileName,
                        long long dataSize, long long dataStart);
std::string MultipartData(const std::string& body, long long dataStart, long long dataSize);
