// The issued picture codes of an account (keylist.txt): one line "issued","address","id","code"
// per code, appended in issue order. A code lives while less than one whole hour lies between
// its issue time and now.
//
// Every change holds the file's exclusive lock from its read to its atomic replacement. The
// file stays bounded although pages issue codes that nobody uses: an append rewrites it without
// its dead and malformed lines once its first line has been dead for an hour or it has grown
// past kKeyListMaxBytes (then only the newest half of that is kept), so a line is copied about
// twice over its life and an append costs the same whatever the traffic.
#pragma once
#include <ctime>
#include <string>

constexpr long long kKeyListMaxBytes = 4LL << 20;

// Whether an entry issued at the stored time `issued` is still alive at `now`.
bool KeyAlive(const std::string& issued, time_t now);

// Appends one entry line. False when the list could not be written.
bool AppendKeyLine(const std::string& folder, const std::string& line, time_t now);

enum class TKeyLookup {
  Found,        // `code` holds the entry's code
  NoList,       // keylist.txt does not exist
  Unreadable,   // it could not be locked or read
  Missing,      // no live entry has this id
  WriteFailed,  // dead lines were found but the list could not be written back
};
// The picture's lookup: the code of the first live entry with this id. Dead and malformed lines
// are dropped from the list on the way; a list left without lines is deleted.
TKeyLookup LookupKey(const std::string& folder, const std::string& id, time_t now, std::string& code);

// The post's check: true when the newest live entry with this (non-empty) id has exactly this
// code. With `take` an accepted entry is removed (with the dead lines), so a code admits one post;
// a refused code stays.
bool CheckKey(const std::string& folder, const std::string& id, const std::string& code, time_t now, bool take);
