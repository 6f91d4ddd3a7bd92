// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "ApSimOptions.h"

namespace kelvo::apsim {
namespace {

ParsedOptions Parse(std::vector<std::string_view> arguments) {
  return ParseProgramOptions(arguments);
}

TEST(ApSimOptions, DefaultsAndEveryOption) {
  const auto defaults = Parse({});
  ASSERT_TRUE(defaults.options);
  EXPECT_EQ(defaults.options->simulator.count, 3);
  EXPECT_EQ(defaults.options->simulator.firstAddress, 0x7F000002u);
  EXPECT_EQ(defaults.options->port, 1161);
  EXPECT_EQ(defaults.options->bindAddress, 0u);
  EXPECT_EQ(defaults.options->simulator.password, "admin");
  EXPECT_FALSE(defaults.options->simulator.vary);

  const auto all = Parse({"--count", "5", "--first=10.0.0.10", "--port", "0", "--bind", "127.0.0.1",
                          "--password=", "--seed", "42", "--fault", "10.0.0.12:delay=250",
                          "--fault", "all:error=5/3", "--fault", "5:drop=30", "--vary"});
  ASSERT_TRUE(all.options) << all.error;
  const ProgramOptions& o = *all.options;
  EXPECT_EQ(o.simulator.count, 5);
  EXPECT_EQ(o.simulator.firstAddress, 0x0A00000Au);
  EXPECT_EQ(o.port, 0);
  EXPECT_EQ(o.bindAddress, 0x7F000001u);
  EXPECT_EQ(o.simulator.password, "");
  EXPECT_EQ(o.simulator.seed, 42u);
  EXPECT_TRUE(o.simulator.vary);
  ASSERT_EQ(o.faults.size(), 3u);
  EXPECT_EQ(o.faults[0].ap, 2u);
  EXPECT_EQ(o.faults[0].fault.kind, Fault::Kind::Delay);
  EXPECT_EQ(o.faults[0].fault.delayMs, 250);
  EXPECT_FALSE(o.faults[1].ap);
  EXPECT_EQ(o.faults[1].fault.errorStatus, 5);
  EXPECT_EQ(o.faults[1].fault.errorIndex, 3);
  EXPECT_EQ(o.faults[2].ap, 4u);
  EXPECT_EQ(o.faults[2].fault.dropPercent, 30);
}

TEST(ApSimOptions, ReplyFaultsOnTheCommandLineAndInWords) {
  const auto parsed = Parse({"--fault", "all:varbinds=-1", "--fault", "1:varbinds=+2", "--fault",
                             "2:wrong-type", "--fault", "3:octets=-2", "--fault", "all:octets=4",
                             "--fault", "1:from=127.0.0.99", "--fault", "all:request-id=+1",
                             "--fault", "1:reboot-after=3/2000", "--fault", "2:reboot-after=0"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const auto& f = parsed.options->faults;
  ASSERT_EQ(f.size(), 9u);
  EXPECT_EQ(f[0].fault.kind, Fault::Kind::Varbinds);
  EXPECT_EQ(f[0].fault.varbindDelta, -1);
  EXPECT_EQ(f[1].fault.varbindDelta, 2);
  EXPECT_EQ(f[2].fault.kind, Fault::Kind::WrongType);
  EXPECT_EQ(f[3].fault.kind, Fault::Kind::Octets);
  EXPECT_EQ(f[3].fault.octetsDelta, -2);
  EXPECT_EQ(f[4].fault.octetsDelta, 4);
  EXPECT_EQ(f[5].fault.kind, Fault::Kind::From);
  EXPECT_EQ(f[5].fault.replyFrom, 0x7F000063u);
  EXPECT_EQ(f[6].fault.kind, Fault::Kind::RequestId);
  EXPECT_EQ(f[6].fault.requestIdDelta, 1);
  EXPECT_EQ(f[7].fault.kind, Fault::Kind::Reboot);
  EXPECT_EQ(f[7].fault.rebootAfter, 3);
  EXPECT_EQ(f[7].fault.rebootDownMs, 2000);
  EXPECT_EQ(f[8].fault.rebootAfter, 0);
  EXPECT_LT(f[8].fault.rebootDownMs, 0) << "down until the fault changes";

  const std::vector<std::string_view> words = {"request-id", "-7"};
  const auto fault = ParseFault(words);
  ASSERT_TRUE(fault);
  EXPECT_EQ(fault->requestIdDelta, -7);

  for (const std::string_view bad :
       {"varbinds=0", "varbinds=+-1", "varbinds=65", "varbinds", "octets=x", "octets=-1025",
        "wrong-type=1", "from=1.2.3", "from", "request-id=0", "reboot-after=-1",
        "reboot-after=1/-5", "reboot-after=1/2/3"}) {
    const std::string argument = "all:" + std::string(bad);
    EXPECT_FALSE(Parse({"--fault", argument}).options) << bad;
  }
}

TEST(ApSimOptions, FirmwareDownloadOptions) {
  const auto defaults = Parse({});
  ASSERT_TRUE(defaults.options);
  const TftpClientSettings& plain = defaults.options->simulator.tftp;
  EXPECT_EQ(plain.port, 69);
  EXPECT_TRUE(plain.options.empty());
  EXPECT_EQ(plain.timeout, std::chrono::milliseconds(1000));
  EXPECT_EQ(plain.tries, 5);
  EXPECT_TRUE(defaults.options->imageDirectory.empty());

  const auto all = Parse({"--tftp-port", "6969", "--tftp-options=blksize=1428,windowsize=16,tsize",
                          "--tftp-timeout", "200", "--tftp-tries=2", "--image-dir", "/tmp/img",
                          "--reboot-ms=2500", "--upgrade-firmware", "1.1.0b", "--flash-ms", "40"});
  ASSERT_TRUE(all.options) << all.error;
  const TftpClientSettings& tftp = all.options->simulator.tftp;
  EXPECT_EQ(tftp.port, 6969);
  EXPECT_EQ(tftp.options, (std::vector<firmware::TftpOption>{
                              {"blksize", "1428"}, {"windowsize", "16"}, {"tsize", "0"}}));
  EXPECT_EQ(tftp.timeout, std::chrono::milliseconds(200));
  EXPECT_EQ(tftp.tries, 2);
  EXPECT_EQ(all.options->imageDirectory, "/tmp/img");
  EXPECT_EQ(all.options->simulator.rebootTime.count(), 2500);
  EXPECT_EQ(all.options->simulator.upgradeFirmware, "1.1.0b");
  EXPECT_EQ(all.options->flashTime.count(), 40);
}

TEST(ApSimOptions, CounterRatesAndWrap) {
  // The last switch for a counter wins.
  const auto parsed = Parse({"--counter-rate", "all=10", "--counter-rate=ethernet_rx_bytes=125000",
                             "--counter-rate", "wireless_rx_cts=0.5", "--counter-wrap", "30"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  const CounterSettings& counters = parsed.options->simulator.counters;
  EXPECT_EQ(counters.rates[0], 125'000'000'000u);
  EXPECT_EQ(counters.rates[1], 10'000'000u);
  EXPECT_EQ(counters.rates[42], 10'000'000u);
  EXPECT_EQ(counters.rates[43], 500'000u);
  EXPECT_EQ(counters.wrapAfter, std::chrono::seconds(30));

  const std::pair<std::string_view, std::optional<CounterRate>> rates[] = {
      {"0", 0},
      {"0.000001", 1},
      {"12.05", 12'050'000},
      {"007.250", 7'250'000},
      {"4294967296", 4'294'967'296'000'000},
      {"4294967296.000001", std::nullopt},
      {"0.0000001", std::nullopt},
      {"", std::nullopt},
      {"-1", std::nullopt},
      {"1.", std::nullopt},
      {".5", std::nullopt},
      {"1e3", std::nullopt},
  };
  for (const auto& [text, rate] : rates) EXPECT_EQ(ParseCounterRate(text), rate) << text;

  // Each error names what it could not use.
  const std::pair<std::vector<std::string_view>, std::string_view> bad[] = {
      {{"--counter-rate", "ethernet_rx_byte=1"}, "ethernet_rx_byte"},
      {{"--counter-rate", "all=-1"}, "-1"},
      {{"--counter-rate", "all"}, "all"},
      {{"--counter-wrap", "-5"}, "-5"},
      {{"--counter-wrap=1.5"}, "1.5"},
  };
  for (const auto& [arguments, named] : bad) {
    const auto refused = Parse(arguments);
    EXPECT_FALSE(refused.options) << arguments[0];
    EXPECT_NE(refused.error.find(named), std::string::npos) << refused.error;
  }
}

TEST(ApSimOptions, RefusesWhatItCannotUse) {
  const std::vector<std::vector<std::string_view>> bad = {
      {"--count", "0"},
      {"--count", "x"},
      {"--port", "65536"},
      {"--first", "1.2.3"},
      {"--bind", "localhost"},
      {"--count"},
      {"--verbose"},
      {"--fault", "127.0.0.2"},
      {"--fault", "127.0.0.9:silent"},
      {"--fault", "1:delay=-1"},
      {"--fault", "all:loud"},
      {"--first", "255.255.255.254", "--count", "3"},
      {"--tftp-port", "0"},
      {"--tftp-options", "blksize=65465"},
      {"--tftp-options", "tsize,tsize"},
      {"--tftp-timeout", "0"},
      {"--tftp-tries", "101"},
      {"--image-dir="},
      {"--vary=yes"},
      {"--reboot-ms", "-1"},
      {"--flash-ms", "x"},
      {"--upgrade-firmware", "1.0 beta"},
  };
  for (const auto& arguments : bad) {
    const auto parsed = Parse(arguments);
    EXPECT_FALSE(parsed.options) << arguments[0];
    EXPECT_FALSE(parsed.error.empty());
  }
}

}  // namespace
}  // namespace kelvo::apsim
