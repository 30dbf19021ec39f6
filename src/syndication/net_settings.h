// The velm.ini settings of outgoing connections, applied to a client before use.
#pragma once
#include "app/settings.h"
#include "net/httpclient.h"

enum class TNetUse {
  OwnerAction,  // pings, trackbacks, title fetches: NETTIMEOUT= (30 s)
  FeedBox,      // a feed read while a page is built: RSSREADTIMEOUT= (20 s)
};

// USEHTTPS=, HTTPSCAFILE=, NETCONNECTTIMEOUT= and the exchange deadline of the use.
void ConfigureHTTPClient(THTTPClient& client, const TSystemSettings& sys, TNetUse use = TNetUse::OwnerAction);
