// The one door to the data files: the file access rule (lock, retry every 500 ms,
// 101 tries) and the locked atomic rewrite.
#pragma once
#include <functional>
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

constexpr int kFileTries = 101;
constexpr int kFilePauseMs = 500;

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool ForceDirectories(const std::string& path);   // creates missing parents
bool DeleteFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
long long FileSize(const std::string& path);      // -1 when missing
time_t FileAge(const std::string& path);          // mtime, -1 when missing
std::string IncludeTrailingSlash(const std::string& path);
std::string ExeFolder();                          // folder of /proc/self/exe, ends in "/"

bool LoadLinesFromFile(const std::string& path, TStringList& lines);
bool LoadTextFromFile(const std::string& path, std::string& text);
bool SaveLinesToFile(const std::string& path, const TStringList& lines);
bool AppendLineToFile(const std::string& path, const std::string& line);
bool SaveTextToFile(const std::string& path, const std::string& text, int tries = kFileTries - 1,
                    int pauseMs = kFilePauseMs);
std::string ReadFirstLine(const std::string& path, const std::string& def, int tries = kFileTries - 1,
                          int pauseMs = kFilePauseMs);
bool LoadStreamFromFile(const std::string& path, std::string& bytes);
bool SaveStreamToFile(const std::string& path, const std::string& bytes);

// What a rewrite does with the file once the change has run.
enum class TRewrite { Keep, Save, Delete };

// Holds the exclusive lock from the read to the replacement; the new content is written
// to a temporary file in the same folder, fsynced and renamed over the path. `existed`
// tells whether the file was there. False when the lock could not be had or the write failed.
bool RewriteLines(const std::string& path,
                  const std::function<TRewrite(TStringList& lines, bool existed)>& change);
bool RewriteText(const std::string& path,
                 const std::function<TRewrite(std::string& text, bool existed)>& change);
