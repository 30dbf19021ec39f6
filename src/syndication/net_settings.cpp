#include "syndication/net_settings.h"

void ConfigureHTTPClient(THTTPClient& client, const TSystemSettings& sys, TNetUse use) {
  client.UseHTTPS = sys.USEHTTPS;
  client.CAFile = sys.HTTPSCAFILE;
  client.ConnectTimeout = sys.NETCONNECTTIMEOUT;
  client.Deadline = use == TNetUse::FeedBox ? sys.RSSREADTIMEOUT : sys.NETTIMEOUT;
}
