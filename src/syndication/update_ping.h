// Update pings: the account's ping servers (updateping.txt), the throttle (lastupdateping.txt,
// UPDATEPINGSENDSPAMTIME=) and the send with its result table.
//
// The article editor's save calls SendUpdatePings(module) after its wait and appends the
// fragment it returns; the UP, PW and SU pages are operations of TWebModule1.
#pragma once
#include <string>
#include <vector>

#include "app/settings.h"

class TWebModule1;

struct TUpdatePingServer {
  bool Enabled = false;
  std::string Address, Type;
};
using TUpdatePingServerList = std::vector<TUpdatePingServer>;  // always 10 slots

constexpr int kUpdatePingSlots = 10;

TUpdatePingServerList LoadUpdatePingServers(const std::string& accountFolder);

// Whole minutes since the last send and its time text; without lastupdateping.txt the limit
// itself (sending allowed) and the current time.
void MinutesSinceLastPing(const TSystemSettings& sys, const std::string& accountFolder, int& minutes,
                          std::string& lastText);

// Sends the pings of the account (blog title and address go into the body template) and returns
// the HTML fragment: the refusal text, or the last-send line and the result table.
std::string SendUpdatePings(const TSystemSettings& sys, const std::string& accountFolder, const std::string& blogTitle,
                            const std::string& blogURL);
std::string SendUpdatePings(TWebModule1& m);

// The result and message cells of one ping answer (status line, headers and body of the answer).
void PingAnswerCells(const std::string& statusLine, const TStringList& headerLines, const std::string& body,
                     std::string& result, std::string& message);
