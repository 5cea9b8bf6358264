#include "host/syslog_param.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrix {
namespace {

constexpr uint32_t Ip(int a, int b, int c, int d) {
  return static_cast<uint32_t>(a) | static_cast<uint32_t>(b) << 8 |
         static_cast<uint32_t>(c) << 16 | static_cast<uint32_t>(d) << 24;
}

TEST(ParseSysLogParam, AcceptsTheDestinationForms) {
  struct Case {
    const char* text;
    SysLogParam want;
  };
  const Case cases[] = {
      {"Server=192.168.0.10", {51932, Ip(192, 168, 0, 10), 514, 0, 0}},
      {"Server=192.168.0.10:1514,CodePage=932", {932, Ip(192, 168, 0, 10), 1514, 0, 0}},
      {"SERVER=10.0.0.1,port=600", {51932, Ip(10, 0, 0, 1), 600, 0, 0}},
      {"Conn=udp:10.0.0.1:600:10.0.0.2:700", {51932, Ip(10, 0, 0, 1), 600, Ip(10, 0, 0, 2), 700}},
      {"Conn=Ethernet:10.0.0.1", {51932, Ip(10, 0, 0, 1), 514, 0, 0}},  // first three letters
      {"Conn=ETH:10.0.0.1::10.0.0.5", {51932, Ip(10, 0, 0, 1), 514, Ip(10, 0, 0, 5), 0}},
      {"Server=255.255.255.255", {51932, 0xFFFFFFFFu, 514, 0, 0}},
      {"MyIP=10.0.0.5,MyPort=99,Server=10.0.0.1", {51932, Ip(10, 0, 0, 1), 514, Ip(10, 0, 0, 5),
                                                   99}},
      {"UDP=true,Server=10.0.0.1", {51932, Ip(10, 0, 0, 1), 514, 0, 0}},
      {" Server = (10.0.0.1:514) , CodePage = {932} ,", {932, Ip(10, 0, 0, 1), 514, 0, 0}},
      {"Note=(a,b=c),Server=10.0.0.1", {51932, Ip(10, 0, 0, 1), 514, 0, 0}},  // not ours
  };
  for (const Case& c : cases) {
    SysLogParam got;
    ASSERT_EQ(ParseSysLogParam(c.text, &got), S_OK) << c.text;
    EXPECT_EQ(got.codePage, c.want.codePage) << c.text;
    EXPECT_EQ(got.address, c.want.address) << c.text;
    EXPECT_EQ(got.port, c.want.port) << c.text;
    EXPECT_EQ(got.localAddress, c.want.localAddress) << c.text;
    EXPECT_EQ(got.localPort, c.want.localPort) << c.text;
  }
}

TEST(ParseSysLogParam, RefusesWithTheCodeOfTheFault) {
  struct Case {
    const char* text;
    HRESULT want;
  };
  const Case cases[] = {
      // The text as a whole.
      {"Server=1.2.3.4=5", E_FAIL},
      {"Server=(1.2.3.4", E_FAIL},
      {"Server=1.2.3.4)", E_FAIL},
      {"Server=[1.2.3.4)", E_FAIL},
      {"Server", E_FAIL},
      // Forms.
      {"Conn=COM:1", E_INVALIDARG},
      {"Conn=TCP:10.0.0.1", E_INVALIDARG},
      {"Conn=XYZ:10.0.0.1", E_INVALIDARG},
      {"Conn=ET:10.0.0.1", E_INVALIDARG},
      {"Port=514", E_INVALIDARG},  // a port without an address form is the COM form
      {"UDP=false,Server=10.0.0.1", E_INVALIDARG},
      {"Conn=ETH:10.0.0.1:1:10.0.0.2:2:3", E_INVALIDARG},
      // Values.
      {"Server=10.0.0.256", E_INVALIDARG},
      {"Server=10.0.1", E_INVALIDARG},
      {"Server=10.0.0.1:70000", DISP_E_OVERFLOW},
      {"Server=10.0.0.1:-1", DISP_E_OVERFLOW},
      {"Server=10.0.0.1,Port=abc", DISP_E_OVERFLOW},
      {"Server=10.0.0.1,CodePage=-932", DISP_E_OVERFLOW},
      {"Server=10.0.0.1,UDP=maybe", DISP_E_TYPEMISMATCH},
      // The same thing given twice.
      {"Conn=ETH:10.0.0.1,Server=10.0.0.2", TVX_E_SYSLOG_DUPLICATE_KEY},
      {"Server=10.0.0.1:514,Port=600", TVX_E_SYSLOG_DUPLICATE_KEY},
      {"Conn=ETH:10.0.0.1::10.0.0.5,MyIP=10.0.0.6", TVX_E_SYSLOG_DUPLICATE_KEY},
      {"CodePage=932,codepage=932,Server=10.0.0.1", TVX_E_SYSLOG_DUPLICATE_KEY},
      // No destination address.
      {"", TVX_E_SYSLOG_NO_ADDRESS},
      {"CodePage=932", TVX_E_SYSLOG_NO_ADDRESS},
      {"Conn=ETH", TVX_E_SYSLOG_NO_ADDRESS},
      {"UDP=true,Port=514", TVX_E_SYSLOG_NO_ADDRESS},
  };
  for (const Case& c : cases) {
    SysLogParam got;
    got.codePage = 1;
    EXPECT_EQ(ParseSysLogParam(c.text, &got), c.want) << c.text;
    EXPECT_EQ(got.codePage, 1u) << c.text;  // untouched on failure
  }
}

}  // namespace
}  // namespace tavrix
