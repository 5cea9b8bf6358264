// The datagram destinations: UDP log datagrams (type 7) and syslog (type 5),
// received on loopback sockets and compared byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "host/log_test_support.h"
#include "host/logger.h"
#include "host/syslog_client.h"
#include "host/udp_log_client.h"
#include "platform/clock.h"
#include "platform/log.h"

namespace tavrix {
namespace {

using testing_support::kDec9Utc;
using testing_support::LoopbackReceiver;
using testing_support::ScopedTimeZone;

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

TEST(UdpLogDatagram, HasTheByteLayoutOfTheReceiver) {
  LoopbackReceiver receiver;
  CZeltUDPLogClient client;
  client.SetName("Tavrix");
  ASSERT_EQ(client.SetAddress(receiver.text()), S_OK);
  ASSERT_EQ(client.Send("abc", 1, S_OK), E_PENDING);  // no socket before Open
  ASSERT_EQ(client.Open(), S_OK);

  struct Case {
    std::string text;
    uint32_t level;
    HRESULT result;
    std::string want;
  };
  const std::string name = Bytes({'T', 0, 'a', 0, 'v', 0, 'r', 0, 'i', 0, 'x', 0, 0, 0});
  const Case cases[] = {
      // 14 + 2 x (6 + 3) = 32 bytes; the first field is 32 / 2.
      {"abc", 1, S_OK,
       Bytes({16, 0, 0, 0, 1, 0, 0, 0, 0, 0}) + name + Bytes({'a', 0, 'b', 0, 'c', 0, 0, 0})},
      // Level cut to 16 bits; the code little-endian; U+3042 as 42 30.
      {"\xE3\x81\x82\n", 0x10003, E_FAIL,
       Bytes({15, 0, 0, 0, 3, 0, 0x05, 0x40, 0x00, 0x80}) + name +
           Bytes({0x42, 0x30, '\n', 0, 0, 0})},
      {"", 0, S_OK, Bytes({13, 0, 0, 0, 0, 0, 0, 0, 0, 0}) + name + Bytes({0, 0})},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(client.Send(c.text, c.level, c.result), S_OK);
    const auto got = receiver.Receive();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, c.want) << c.text;
  }
}

TEST(UdpLogClient, SetAddressTakesOnlyAnAddressAColonAndAPort) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {
      {"192.168.1.20:5196", true},
      {"0.0.0.0:0", true},
      {"10.0.0.1:65535", true},
      {"10.0.0.1:070", true},
      {"10.0.0.1:70000", false},   // above 65535
      {"10.0.0.1:99999999999", false},
      {"10.0.0.1", false},         // no colon
      {"10.0.0.1:", false},
      {":5196", false},
      {"10.0.0.1:51:96", false},   // three parts
      {"10.0.0.1:-1", false},
      {"10.0.0.1: 5196", false},
      {"10.0.0.1:0x10", false},
      {"255.255.255.255:5196", false},  // the platform conversion's "none"
      {"10.0.0.256:5196", false},
      {"10.1:5196", false},
      {"localhost:5196", false},
  };
  for (const Case& c : cases) {
    CZeltUDPLogClient client;
    client.SetAddress(0x04030201, 7);
    EXPECT_EQ(client.SetAddress(c.text), c.ok ? S_OK : E_INVALIDARG) << c.text;
    if (!c.ok) {  // the previous destination stays
      EXPECT_EQ(client.address(), 0x04030201u) << c.text;
      EXPECT_EQ(client.port(), 7) << c.text;
    }
  }
  CZeltUDPLogClient client;
  ASSERT_EQ(client.SetAddress("192.168.1.20:5196"), S_OK);
  EXPECT_EQ(client.address(), 0x1401A8C0u);  // network byte order
  EXPECT_EQ(client.port(), 5196);
}

TEST(CLogger, ModuleUdpDestinationFallsBackToTheDefault) {
  struct Case {
    const char* param;
    HRESULT result;
    uint16_t port;
  };
  const Case cases[] = {
      {"127.0.0.1:6000", S_OK, 6000},
      {"", S_OK, 5196},
      {"127.0.0.1:70000", E_INVALIDARG, 5196},
  };
  for (const Case& c : cases) {
    CLogger logger;
    EXPECT_EQ(logger.SetModuleUdpDestination(c.param), c.result) << c.param;
    EXPECT_EQ(logger.moduleUdpClient().address(), 0x0100007Fu) << c.param;
    EXPECT_EQ(logger.moduleUdpClient().port(), c.port) << c.param;
  }
}

TEST(CLogger, Type7SendsLogLinesWithTheirResultCode) {
  LoopbackReceiver receiver;
  CLogger logger;
  ASSERT_EQ(logger.SetModuleUdpDestination(receiver.text()), S_OK);
  LoggerSettings s;
  s.type = kLogToUdp;
  s.applicationName = "Tavrix";
  s.udpText = receiver.text();
  ASSERT_EQ(logger.Configure(s), S_OK);
  ScopedLogSink install(logger, 1);
  LogResult(E_FAIL, 1, "ab\n");
  auto got = receiver.Receive();
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, CZeltUDPLogClient::BuildDatagram("Tavrix", "ab\n", 3, E_FAIL));
  EXPECT_EQ(got->substr(0, 10), Bytes({16, 0, 0, 0, 3, 0, 0x05, 0x40, 0x00, 0x80}));

  logger.WriteLine(2, "direct\n");  // the logger's own client, result 0
  got = receiver.Receive();
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, CZeltUDPLogClient::BuildDatagram("Tavrix", "direct\n", 2, S_OK));
}

class SysLogTest : public ::testing::Test {
 protected:
  SysLogTest() : tz_("JST-9"), clock_(0, kDec9Utc), useClock_(clock_) {
    char host[HOST_NAME_MAX + 1] = {};
    ::gethostname(host, sizeof host - 1);
    host_ = std::string(host).substr(0, 15);
  }

  std::string Header(int priority) const {
    return "<" + std::to_string(priority) + ">Dec  9 23:30:13 " + host_ + " Tavrix ";
  }

  ScopedTimeZone tz_;
  FakeClock clock_;
  ScopedClockOverride useClock_;
  LoopbackReceiver receiver_;
  std::string host_;
};

TEST_F(SysLogTest, SendsOneHeaderedLinePerLevel) {
  CSysLogClient client;
  ASSERT_EQ(client.Open("Tavrix", 1, receiver_.address(), receiver_.port(), 51932), S_OK);
  struct Case {
    uint32_t level;
    std::string text;
    std::string want;
  };
  const Case cases[] = {
      {1, "abc\n", Header(14) + "abc"},
      {2, "abc\n", Header(12) + "abc"},
      {3, "abc\n", Header(11) + "abc"},
      {4, "abc\n", Header(10) + "abc"},
      {1, "abc\r\ndef\n", Header(14) + "abc"},  // cut before the first CR or LF
      {1, "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88", Header(14) + "\xA5\xC6\xA5\xB9\xA5\xC8"},
      {1, "x\xF0\x9F\x98\x80y", Header(14) + "x?y"},  // EUC-JP has no emoji: '?'
      {1, std::string(2000, 'a'), (Header(14) + std::string(2000, 'a')).substr(0, 1024)},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(client.Send(c.level, c.text), S_OK);
    const auto got = receiver_.Receive();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, c.want) << c.level << " " << c.text.substr(0, 20);
  }
  // A day of two digits fills the field.
  clock_.SetUtcMicros(kDec9Utc + 86400LL * 1000000 * 5);
  ASSERT_EQ(client.Send(1, "x"), S_OK);
  EXPECT_EQ(receiver_.Receive().value_or(""), "<14>Dec 14 23:30:13 " + host_ + " Tavrix x");
}

TEST_F(SysLogTest, LinesBelowTheOpeningLevelAreNotSent) {
  CSysLogClient client;
  ASSERT_EQ(client.Open("Tavrix", 2, receiver_.address(), receiver_.port(), 51932), S_OK);
  EXPECT_EQ(client.Send(1, "info\n"), S_FALSE);
  ASSERT_EQ(client.Send(2, "warning\n"), S_OK);
  EXPECT_EQ(receiver_.Receive().value_or(""), Header(12) + "warning");  // the first to arrive

  client.Close();
  EXPECT_EQ(client.Send(2, "closed\n"), TVX_E_SYSLOG_NOT_OPEN);
  EXPECT_EQ(client.Send(1, "closed\n"), S_FALSE);  // the mask is asked first
}

TEST(CSysLogClient, SeverityMaskFromTheLevel) {
  struct Case {
    uint32_t level;
    uint32_t mask;
  };
  const Case cases[] = {
      {0, 1u << 7 | 1u << 6 | 1u << 4 | 1u << 3 | 1u << 2},
      {1, 1u << 6 | 1u << 4 | 1u << 3 | 1u << 2},
      {3, 1u << 3 | 1u << 2},
      {4, 1u << 2},
      {5, 0},  // above 4 leaves the mask as it was
  };
  for (const Case& c : cases) {
    CSysLogClient client;
    (void)client.Open("Tavrix", c.level, 0x0100007F, 514, 51932);
    EXPECT_EQ(client.severityMask(), c.mask) << c.level;
  }
}

TEST_F(SysLogTest, LoggerType5SendsThroughTheSyslogClient) {
  CLogger logger;
  LoggerSettings s;
  s.type = kLogToSysLog;
  s.level = 1;
  s.applicationName = "Tavrix";
  s.sysLog = SysLogDestination{receiver_.address(), receiver_.port(), 51932};
  ASSERT_EQ(logger.Configure(s), S_OK);
  ScopedLogSink install(logger, 1);
  Log(1, "abc\r\ndef\n");
  LogResult(E_FAIL, 1, "failed %d\n", 5);
  EXPECT_EQ(receiver_.Receive().value_or(""), Header(14) + "abc");
  EXPECT_EQ(receiver_.Receive().value_or(""), Header(11) + "failed 5");

  s.type = kLogToDebugger;  // any other type closes the syslog client
  ASSERT_EQ(logger.Configure(s), S_OK);
  EXPECT_FALSE(logger.sysLogClient().opened());
}

}  // namespace
}  // namespace tavrix
