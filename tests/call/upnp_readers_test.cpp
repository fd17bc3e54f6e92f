// Proves: the gateway client reads LOCATION, URLs, control URLs, SOAP element values and HTTP
// replies (length, chunked, ended by close) as a real gateway writes them, refuses broken
// ones, and writes the SOAP request byte for byte.
#include <gtest/gtest.h>

#include "call/upnp_readers.h"

namespace corvina::call {
namespace {

TEST(UpnpReaders, SsdpLocationAnyCaseUpToLineEnd) {
  EXPECT_EQ(FindSsdpLocation("HTTP/1.1 200 OK\r\nlocation:  http://10.0.0.1:5000/root.xml\r\nST: x\r\n\r\n"),
            "http://10.0.0.1:5000/root.xml");
  EXPECT_EQ(FindSsdpLocation("HTTP/1.1 200 OK\nLocation:http://h/d\n"), "http://h/d");
  EXPECT_EQ(FindSsdpLocation("HTTP/1.1 200 OK\r\nLOCATION: " + std::string(400, 'a')),
            std::string(259, 'a'));
  EXPECT_FALSE(FindSsdpLocation("HTTP/1.1 200 OK\r\nLOCATION:   \r\n"));
  EXPECT_FALSE(FindSsdpLocation("HTTP/1.1 200 OK\r\nST: x\r\n"));
}

TEST(UpnpReaders, SplitsHttpUrls) {
  auto u = SplitHttpUrl("http://10.0.0.1:5000/rootDesc.xml");
  ASSERT_TRUE(u);
  EXPECT_EQ(u->host, "10.0.0.1");
  EXPECT_EQ(u->port, 5000);
  EXPECT_EQ(u->path, "/rootDesc.xml");
  auto bare = SplitHttpUrl("HTTP://gateway");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->HostPort(), "gateway:80");
  EXPECT_EQ(bare->path, "/");
  for (const char* bad : {"https://h/x", "http://:80/x", "http://h:0/", "http://h:65536/", "http://h:8a/",
                          "http://h:/x", "ftp://h/", "http://user@h/"}) {
    EXPECT_FALSE(SplitHttpUrl(bad)) << bad;
  }
}

TEST(UpnpReaders, ControlUrlFollowsItsServiceType) {
  const std::string description =
      "<service><serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>"
      "<controlURL>/ctl/CmnIfCfg</controlURL></service>"
      "<service><serviceType>urn:schemas-upnp-org:service:WANPPPConnection:1</serviceType>"
      "<controlURL>ctl/PPP</controlURL></service>"
      "<service><serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>"
      "<controlURL>http://10.0.0.1:6000/ctl/IP</controlURL></service>";
  const HttpUrl base = *SplitHttpUrl("http://10.0.0.1:5000/root.xml");
  auto ip = FindControlUrl(description, "WANIPConnection:1", base);
  ASSERT_TRUE(ip);
  EXPECT_EQ(ip->HostPort() + ip->path, "10.0.0.1:6000/ctl/IP");
  auto ppp = FindControlUrl(description, "WANPPPConnection:1", base);
  ASSERT_TRUE(ppp);
  EXPECT_EQ(ppp->HostPort() + ppp->path, "10.0.0.1:5000/ctl/PPP");
  EXPECT_FALSE(FindControlUrl(description.substr(0, description.size() - 40), "WANIPConnection:1", base));
  EXPECT_FALSE(FindControlUrl("<serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>"
                              "<controlURL></controlURL>", "WANIPConnection:1", base));
}

TEST(UpnpReaders, SoapElementValueIsTheElementsOwnText) {
  // A normal reply holds NewRSIPAvailable 0 beside NewNATEnabled 1: only the latter counts.
  const std::string natStatus =
      "<u:GetNATRSIPStatusResponse><NewRSIPAvailable>0</NewRSIPAvailable>"
      "<NewNATEnabled>1</NewNATEnabled></u:GetNATRSIPStatusResponse>";
  EXPECT_EQ(SoapElementText(natStatus, "NewNATEnabled"), "1");
  EXPECT_EQ(SoapElementText("<NewNATEnabledX>9</NewNATEnabledX><NewNATEnabled xsi:type=\"b\">0</NewNATEnabled>",
                            "NewNATEnabled"), "0");
  EXPECT_EQ(SoapElementText("<NewExternalIPAddress/>", "NewExternalIPAddress"), "");
  EXPECT_FALSE(SoapElementText("<NewExternalIPAddress>81.2.3.4", "NewExternalIPAddress"));
  EXPECT_FALSE(SoapElementText("<NewExternalIPAddress", "NewExternalIPAddress"));
  EXPECT_FALSE(SoapElementText("<Other>1</Other>", "NewNATEnabled"));
}

TEST(UpnpReaders, HttpRepliesByLengthChunksOrClose) {
  struct Case {
    const char* name;
    std::string received;
    bool closed;
    HttpReadState state;
    int status;
    std::string body;
  } cases[] = {
      {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", false, HttpReadState::kDone, 200, "hello"},
      {"length pending", "HTTP/1.1 200 OK\r\ncontent-length: 5\r\n\r\nhel", false, HttpReadState::kNeedMore, 0, ""},
      {"length cut by close", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel", true, HttpReadState::kBad, 0, ""},
      {"chunked", "HTTP/1.1 500 Err\r\nTransfer-Encoding: chunked\r\n\r\n3;x=1\r\nabc\r\n2\r\nde\r\n0\r\n\r\n", false,
       HttpReadState::kDone, 500, "abcde"},
      {"chunk pending", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nab", false,
       HttpReadState::kNeedMore, 0, ""},
      {"chunk size huge", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFF\r\nab", false,
       HttpReadState::kBad, 0, ""},
      {"until close", "HTTP/1.0 200 OK\r\n\r\nbody", true, HttpReadState::kDone, 200, "body"},
      {"open without length", "HTTP/1.0 200 OK\r\n\r\nbody", false, HttpReadState::kNeedMore, 0, ""},
      {"head pending", "HTTP/1.1 200 OK\r\nContent-", false, HttpReadState::kNeedMore, 0, ""},
      {"not http", "SIP/2.0 200 OK\r\n\r\n", true, HttpReadState::kBad, 0, ""},
      {"bad status", "HTTP/1.1 2x0 OK\r\n\r\n", true, HttpReadState::kBad, 0, ""},
      {"bad length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, HttpReadState::kBad, 0, ""},
  };
  for (const Case& c : cases) {
    HttpReply reply;
    EXPECT_EQ(ReadHttpReply(c.received, c.closed, &reply), c.state) << c.name;
    if (c.state == HttpReadState::kDone) {
      EXPECT_EQ(reply.status, c.status) << c.name;
      EXPECT_EQ(reply.body, c.body) << c.name;
    }
  }
}

TEST(UpnpReaders, AddPortMappingRequestBytes) {
  const HttpUrl control = *SplitHttpUrl("http://10.0.0.1:5000/ctl/IPConn");
  const std::string body =
      "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
      "<u:AddPortMapping xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\">"
      "<NewRemoteHost></NewRemoteHost><NewExternalPort>5093</NewExternalPort><NewProtocol>UDP</NewProtocol>"
      "<NewInternalPort>5070</NewInternalPort><NewInternalClient>192.168.1.23</NewInternalClient>"
      "<NewEnabled>1</NewEnabled><NewPortMappingDescription>Corvina UDP Redirection</NewPortMappingDescription>"
      "<NewLeaseDuration>0</NewLeaseDuration></u:AddPortMapping></s:Body></s:Envelope>\r\n";
  const std::string expected =
      "POST /ctl/IPConn HTTP/1.1\r\nHost: 10.0.0.1:5000\r\nCONTENT-LENGTH: " + std::to_string(body.size()) +
      "\r\nCONTENT-TYPE: text/xml; charset=\"utf-8\"\r\n"
      "SOAPACTION: \"urn:schemas-upnp-org:service:WANIPConnection:1#AddPortMapping\"\r\n\r\n" + body;
  EXPECT_EQ(BuildSoapRequest(control, "WANIPConnection:1", "AddPortMapping",
                             BuildAddPortMappingArguments(5093, 5070, "192.168.1.23")),
            expected);
}

}  // namespace
}  // namespace corvina::call
