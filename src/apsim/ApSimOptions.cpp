// SPDX-License-Identifier: GPL-2.0-or-later
#include "ApSimOptions.h"

#include <algorithm>
#include <limits>

#include "statistics/CounterBlocks.h"
#include "util/Parse.h"

namespace kelvo::apsim {
namespace {

constexpr int kMaxCount = 1000;
// A reply stays within one datagram.
constexpr long kMaxVarbindDelta = 64;
constexpr long kMaxOctetsDelta = 1024;
constexpr long kMaxRebootMs = 3'600'000;
constexpr std::size_t kMaxFirmwareVersion = 32;
// Beyond a full turn of a 32-bit counter per second nothing is left for a reader to see.
constexpr std::uint64_t kMaxCounterRate = std::uint64_t{1} << 32;
constexpr std::size_t kCounterRateDecimals = 6;

using util::ParseInteger;

// A signed count that is not 0, "+" allowed: the size of a reply fault.
std::optional<long> ParseDelta(std::string_view text, long limit) {
  const auto value = ParseInteger<long>(text, util::IntegerForm::OptionalPlus);
  if (!value || *value == 0 || *value < -limit || *value > limit) return std::nullopt;
  return value;
}

// "--fault ADDR:SPEC" spells the fault with '=' and '/' where the control channel uses spaces.
std::optional<Fault> ParseFaultSpec(std::string_view spec) {
  std::string words(spec);
  for (char& c : words) {
    if (c == '=' || c == '/') c = ' ';
  }
  const auto split = SplitWords(words);
  return ParseFault(split);
}

ParsedOptions Failure(std::string message) { return {std::nullopt, std::move(message)}; }

struct OptionLimit {
  std::string_view name;
  std::uint64_t min;
  std::uint64_t max;
};

constexpr OptionLimit kOptionLimits[] = {
    {"blksize", firmware::kTftpMinBlockSize, firmware::kTftpMaxBlockSize},
    {"windowsize", 1, firmware::kTftpMaxWindowSize},
    {"timeout", firmware::kTftpMinTimeout, firmware::kTftpMaxTimeout},
};

}  // namespace

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t begin = text.find_first_not_of(" \t\r", position);
    if (begin == std::string_view::npos) break;
    const std::size_t end = text.find_first_of(" \t\r", begin);
    words.push_back(text.substr(begin, end == std::string_view::npos ? end : end - begin));
    position = end == std::string_view::npos ? text.size() : end;
  }
  return words;
}

std::optional<std::size_t> ParseAp(std::string_view text, const ApSimulator& simulator) {
  if (const auto number = ParseInteger<int>(text)) {
    if (*number < 1 || static_cast<std::size_t>(*number) > simulator.Count()) return std::nullopt;
    return static_cast<std::size_t>(*number - 1);
  }
  const auto address = ParseIpv4(text);
  return address ? simulator.FindByAddress(*address) : std::nullopt;
}

std::optional<std::size_t> ParseAp(std::string_view text, const SimulatorSettings& settings) {
  if (const auto number = ParseInteger<int>(text)) {
    if (*number < 1 || *number > settings.count) return std::nullopt;
    return static_cast<std::size_t>(*number - 1);
  }
  const auto address = ParseIpv4(text);
  if (!address || *address < settings.firstAddress ||
      *address - settings.firstAddress >= static_cast<std::uint32_t>(settings.count)) {
    return std::nullopt;
  }
  return static_cast<std::size_t>(*address - settings.firstAddress);
}

std::optional<Fault> ParseFault(std::span<const std::string_view> words) {
  if (words.empty()) return std::nullopt;
  Fault fault;
  const std::string_view kind = words[0];
  if (kind == "none" && words.size() == 1) return fault;
  if (kind == "silent" && words.size() == 1) {
    fault.kind = Fault::Kind::Silent;
    return fault;
  }
  if (kind == "ignore-reset" && words.size() == 1) {
    fault.kind = Fault::Kind::IgnoreReset;
    return fault;
  }
  if (kind == "delay" && words.size() == 2) {
    const auto ms = ParseInteger<long>(words[1]);
    if (!ms || *ms < 0) return std::nullopt;
    fault.kind = Fault::Kind::Delay;
    fault.delayMs = *ms;
    return fault;
  }
  if (kind == "error" && (words.size() == 2 || words.size() == 3)) {
    const auto status = ParseInteger<long>(words[1]);
    const auto index = words.size() == 3 ? ParseInteger<long>(words[2]) : std::optional<long>(1);
    if (!status || !index || *status < 0 || *index < 0) return std::nullopt;
    fault.kind = Fault::Kind::Error;
    fault.errorStatus = *status;
    fault.errorIndex = *index;
    return fault;
  }
  if (kind == "drop" && words.size() == 2) {
    const auto percent = ParseInteger<int>(words[1]);
    if (!percent || *percent < 0 || *percent > 100) return std::nullopt;
    fault.kind = Fault::Kind::Drop;
    fault.dropPercent = *percent;
    return fault;
  }
  if (kind == "wrong-type" && words.size() == 1) {
    fault.kind = Fault::Kind::WrongType;
    return fault;
  }
  if (kind == "varbinds" && words.size() == 2) {
    const auto delta = ParseDelta(words[1], kMaxVarbindDelta);
    if (!delta) return std::nullopt;
    fault.kind = Fault::Kind::Varbinds;
    fault.varbindDelta = static_cast<int>(*delta);
    return fault;
  }
  if (kind == "octets" && words.size() == 2) {
    const auto delta = ParseDelta(words[1], kMaxOctetsDelta);
    if (!delta) return std::nullopt;
    fault.kind = Fault::Kind::Octets;
    fault.octetsDelta = static_cast<int>(*delta);
    return fault;
  }
  if (kind == "from" && words.size() == 2) {
    const auto address = ParseIpv4(words[1]);
    if (!address) return std::nullopt;
    fault.kind = Fault::Kind::From;
    fault.replyFrom = *address;
    return fault;
  }
  if (kind == "request-id" && words.size() == 2) {
    const auto delta = ParseDelta(words[1], std::numeric_limits<std::int32_t>::max());
    if (!delta) return std::nullopt;
    fault.kind = Fault::Kind::RequestId;
    fault.requestIdDelta = *delta;
    return fault;
  }
  if (kind == "reboot-after" && (words.size() == 2 || words.size() == 3)) {
    const auto after = ParseInteger<int>(words[1]);
    const auto down = words.size() == 3 ? ParseInteger<long>(words[2]) : std::optional<long>(-1);
    if (!after || !down || *after < 0 || (words.size() == 3 && *down < 0)) return std::nullopt;
    fault.kind = Fault::Kind::Reboot;
    fault.rebootAfter = *after;
    fault.rebootDownMs = *down;
    return fault;
  }
  return std::nullopt;
}

std::optional<std::vector<firmware::TftpOption>> ParseTftpOptions(
    std::span<const std::string_view> words) {
  std::vector<firmware::TftpOption> options;
  if (words.size() == 1 && words[0] == "none") return options;
  if (words.empty()) return std::nullopt;
  for (const std::string_view word : words) {
    const std::size_t equals = word.find('=');
    const std::string_view name = word.substr(0, equals);
    for (const auto& [taken, value] : options) {
      if (taken == name) return std::nullopt;
    }
    if (name == "tsize" && equals == std::string_view::npos) {
      // A read request asks for the size with 0 (RFC 2349).
      options.emplace_back("tsize", "0");
      continue;
    }
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view value = word.substr(equals + 1);
    const auto number = firmware::ParseTftpNumber(value);
    bool known = false;
    for (const OptionLimit& limit : kOptionLimits) {
      if (limit.name != name) continue;
      if (!number || *number < limit.min || *number > limit.max) return std::nullopt;
      known = true;
    }
    if (!known) return std::nullopt;
    options.emplace_back(std::string(name), std::to_string(*number));
  }
  return options;
}

std::optional<std::pair<std::chrono::milliseconds, int>> ParseTftpRetry(std::string_view ms,
                                                                        std::string_view tries) {
  const auto wait = ParseInteger<long>(ms);
  const auto count = ParseInteger<int>(tries);
  if (!wait || !count || *wait < 1 || *wait > 60000 || *count < 1 || *count > 100) {
    return std::nullopt;
  }
  return std::make_pair(std::chrono::milliseconds(*wait), *count);
}

std::optional<std::chrono::milliseconds> ParseRebootTime(std::string_view ms) {
  const auto time = ParseInteger<long>(ms);
  if (!time || *time < 0 || *time > kMaxRebootMs) return std::nullopt;
  return std::chrono::milliseconds(*time);
}

std::optional<CounterRate> ParseCounterRate(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view decimals =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (point != std::string_view::npos &&
      (decimals.empty() || decimals.size() > kCounterRateDecimals)) {
    return std::nullopt;
  }
  const auto units = ParseInteger<std::uint64_t>(whole);
  if (!units || *units > kMaxCounterRate) return std::nullopt;
  CounterRate rate = *units * kCounterRateScale;
  if (!decimals.empty()) {
    const auto digits = ParseInteger<std::uint64_t>(decimals);
    if (!digits) return std::nullopt;
    CounterRate scale = kCounterRateScale;
    for (std::size_t i = 0; i < decimals.size(); ++i) scale /= 10;
    rate += *digits * scale;
  }
  if (rate > kMaxCounterRate * kCounterRateScale) return std::nullopt;
  return rate;
}

std::optional<std::vector<std::size_t>> ParseCounterKey(std::string_view text) {
  std::vector<std::size_t> counters;
  if (text == "all") {
    for (std::size_t i = 0; i < statistics::kCounterCount; ++i) counters.push_back(i);
  } else if (const auto counter = statistics::CounterByKey(text)) {
    counters.push_back(*counter);
  } else {
    return std::nullopt;
  }
  return counters;
}

bool IsFirmwareVersion(std::string_view text) {
  return !text.empty() && text.size() <= kMaxFirmwareVersion &&
         std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

ParsedOptions ParseProgramOptions(std::span<const std::string_view> arguments) {
  ProgramOptions options;
  std::vector<std::pair<std::string_view, std::string_view>> faultTexts;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string_view name = arguments[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name == "--version") {
      options.version = true;
      continue;
    }
    if (name == "--vary") {
      options.simulator.vary = true;
      continue;
    }
    std::string_view value;
    if (const std::size_t equals = name.find('=');
        name.starts_with("--") && equals != std::string_view::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      return Failure("missing value for " + std::string(name));
    }
    const std::string bad = "invalid value for " + std::string(name) + ": " + std::string(value);

    if (name == "--count") {
      const auto count = ParseInteger<int>(value);
      if (!count || *count < 1 || *count > kMaxCount) return Failure(bad);
      options.simulator.count = *count;
    } else if (name == "--first") {
      const auto address = ParseIpv4(value);
      if (!address) return Failure(bad);
      options.simulator.firstAddress = *address;
    } else if (name == "--port") {
      const auto port = ParseInteger<std::uint16_t>(value);
      if (!port) return Failure(bad);
      options.port = *port;
    } else if (name == "--test-port") {
      const auto port = ParseInteger<std::uint16_t>(value);
      if (!port) return Failure(bad);
      options.testPort = *port;
    } else if (name == "--bind") {
      const auto address = ParseIpv4(value);
      if (!address) return Failure(bad);
      options.bindAddress = *address;
    } else if (name == "--password") {
      options.simulator.password = std::string(value);
    } else if (name == "--seed") {
      const auto seed = ParseInteger<std::uint32_t>(value);
      if (!seed) return Failure(bad);
      options.simulator.seed = *seed;
    } else if (name == "--tftp-port") {
      const auto port = ParseInteger<std::uint16_t>(value);
      if (!port || *port == 0) return Failure(bad);
      options.simulator.tftp.port = *port;
    } else if (name == "--tftp-options") {
      std::string words(value);
      for (char& c : words) {
        if (c == ',') c = ' ';
      }
      const auto split = SplitWords(words);
      const auto requested = ParseTftpOptions(split);
      if (!requested) return Failure(bad);
      options.simulator.tftp.options = *requested;
    } else if (name == "--tftp-timeout") {
      const auto retry = ParseTftpRetry(value, "1");
      if (!retry) return Failure(bad);
      options.simulator.tftp.timeout = retry->first;
    } else if (name == "--tftp-tries") {
      const auto retry = ParseTftpRetry("1", value);
      if (!retry) return Failure(bad);
      options.simulator.tftp.tries = retry->second;
    } else if (name == "--reboot-ms") {
      const auto time = ParseRebootTime(value);
      if (!time) return Failure(bad);
      options.simulator.rebootTime = *time;
    } else if (name == "--flash-ms") {
      const auto time = ParseRebootTime(value);
      if (!time) return Failure(bad);
      options.flashTime = *time;
    } else if (name == "--upgrade-firmware") {
      if (!IsFirmwareVersion(value)) return Failure(bad);
      options.simulator.upgradeFirmware = std::string(value);
    } else if (name == "--image-dir") {
      if (value.empty()) return Failure(bad);
      options.imageDirectory = std::string(value);
    } else if (name == "--counter-rate") {
      const std::size_t equals = value.find('=');
      if (equals == std::string_view::npos) return Failure(bad + " (use KEY=PER_SECOND)");
      const std::string_view key = value.substr(0, equals);
      const std::string_view perSecond = value.substr(equals + 1);
      const auto counters = ParseCounterKey(key);
      if (!counters) return Failure("unknown counter for --counter-rate: " + std::string(key));
      const auto rate = ParseCounterRate(perSecond);
      if (!rate) return Failure("invalid rate for --counter-rate: " + std::string(perSecond));
      for (const std::size_t counter : *counters) options.simulator.counters.rates[counter] = *rate;
    } else if (name == "--counter-wrap") {
      const auto seconds = ParseInteger<std::uint32_t>(value);
      if (!seconds) return Failure(bad);
      options.simulator.counters.wrapAfter = std::chrono::seconds(*seconds);
    } else if (name == "--fault") {
      const std::size_t colon = value.find(':');
      if (colon == std::string_view::npos) return Failure(bad);
      faultTexts.emplace_back(value.substr(0, colon), value.substr(colon + 1));
    } else if (name == "--vary") {
      return Failure("--vary takes no value");
    } else {
      return Failure("unknown option " + std::string(name));
    }
  }

  const SimulatorSettings& settings = options.simulator;
  if (static_cast<std::uint64_t>(settings.firstAddress) +
          static_cast<std::uint64_t>(settings.count) >
      std::numeric_limits<std::uint32_t>::max()) {
    return Failure("--first and --count run past 255.255.255.255");
  }
  // Faults are resolved last: they name access points by the final --first and --count.
  for (const auto& [apText, specText] : faultTexts) {
    FaultSetting setting;
    if (apText != "all") {
      setting.ap = ParseAp(apText, settings);
      if (!setting.ap) return Failure("--fault names no access point: " + std::string(apText));
    }
    const auto fault = ParseFaultSpec(specText);
    if (!fault) return Failure("invalid fault: " + std::string(specText));
    setting.fault = *fault;
    options.faults.push_back(setting);
  }
  return {options, {}};
}

std::string_view UsageText() {
  return R"(Usage: kelvo-apsim [options]
Simulated 802.11b access points answering SNMPv1 on one UDP socket.

  --count N          number of access points (default 3)
  --first ADDR       address of access point 1; the others follow (default 127.0.0.2)
  --port P           UDP port, 0 for any free port (default 1161)
  --bind ADDR        local address of the socket (default 0.0.0.0)
  --password PW      write community of every access point (default admin; the
                     environment variable KELVO_APSIM_PASSWORD keeps it off the
                     command line)
  --test-port P      port on each access point's address that receives the packet RX
                     test's datagrams (default 65535; 0 for none)
  --seed S           seed of the random request loss and of --vary (default 1)
  --vary             give each access point settings of its own, the same on every
                     run for a seed: networks and security, channel and regulatory
                     domain, name, mode, firmware version, rates, thresholds and
                     authorised MAC table; without it all have the factory settings
  --fault ADDR:SPEC  misbehave; ADDR is an address, a number or "all"; SPEC is
                     silent | ignore-reset | delay=MS | error=STATUS[/INDEX] |
                     drop=PERCENT | varbinds=[+-]N | wrong-type | octets=[+-]N |
                     from=ADDR | request-id=[+-]N | reboot-after=N[/MS] | none
  --tftp-port T      TFTP port that firmware is fetched from (default 69)
  --tftp-options L   options every download requests, comma-separated:
                     blksize=N,windowsize=N,timeout=S,tsize, or none (default)
  --tftp-timeout MS  wait before a TFTP packet is sent again (default 1000)
  --tftp-tries N     times a TFTP packet is sent before giving up (default 5)
  --image-dir DIR    write each downloaded image to DIR/<ap address>.dlf
  --upgrade-firmware VERSION
                     the firmware an access point runs after its next successful
                     download (default: the one it ran)
  --reboot-ms MS     how long a restart keeps an access point silent (default 0)
  --flash-ms MS      how long an access point writes a downloaded image to its flash
                     before it answers the set that started the download (default 0)
  --counter-rate KEY=PER_SECOND
                     the traffic counter KEY (ethernet_rx_bytes, wireless_tx_beacons,
                     ..., see kelvo-apsim(1); "all" for every one) advances at exactly
                     PER_SECOND a second (up to 6 decimals) on every access point;
                     repeatable, the last one for a counter wins; counters not named
                     keep their own rates
  --counter-wrap SECONDS
                     every counter passes 2^32 (is 0 again) SECONDS after the start;
                     until then it counts up towards it
  --help             show this text
  --version          print the version and end

Prints "ready port=P" once the socket is bound, then reads commands on stdin:
  fault <ap|all> none|silent|ignore-reset|delay <ms>|error <status> [<index>]|
                           drop <percent>|varbinds <+-n>|wrong-type|octets <+-n>|
                           from <addr>|request-id <+-n>|reboot-after <n> [<ms>]
  log <ap>                 clear-log <ap|all>
  get <ap> <name|oid>      set <ap> <name|oid> <i|s|x|a> [value]
  password <ap> <text>     table <ap>     set-table <ap> [<12 hex digits> ...]
  tftp-options <ap|all> none|<option> ...  (blksize=N windowsize=N timeout=S tsize)
  tftp-retry <ap|all> <ms> <tries>         tftp-port <ap|all> <port>
  upgrade-firmware <ap|all> <version>      reboot-ms <ap|all> <ms>
  counter-rate <ap|all> <key|all> <per second>   the counter goes on from its value now
  image <ap>   the last download: state, bytes, sha256, file, reason (tab-separated;
               state none|fetching|done|failed, "-" for an empty field)
  quit
Every command's output ends with "ok" or "error <reason>". SIGTERM or SIGINT ends it too, and
so does the end of stdin when stdin is a pipe, a socket or a terminal: a parent that started
it on a pipe takes it along when it dies. Hold the pipe open for as long as it should run.
A stdin of /dev/null or a regular file is only read to its end (its commands run) and leaves
it running; a background job of a shell script gets /dev/null unless given a pipe.

Faults that spoil a reply the access point otherwise gives as usual (what it was asked to
set is set): varbinds cuts N variables from the end (-N) or adds N INTEGERs (+N); wrong-type
turns every INTEGER into the OCTET STRING of its decimal text and every OCTET STRING into the
INTEGER of its length; octets shortens (-N) or lengthens (+N, with '#') every OCTET STRING;
from sends the reply from another local address; request-id offsets the reply's request id.
reboot-after handles N more requests and then goes silent, for MS ms when given (then it
answers again, with no fault), else until the fault is changed.

A SetRequest of UpgradeServerAddress with the write community makes the access point fetch
"application.dlf" by TFTP (octet mode) from the address set, at the TFTP port. The set is
answered when the download has ended: as usual when the whole image arrived, with genErr (5)
when it failed. Another such set while a download runs is refused with genErr.

A full restart (SystemRestart 1, carried out under ignore-reset too) and the reboot after a
successful download keep the access point silent for the reboot time (requests are logged,
not answered). At either, with DhcpClient 2 (disabled), it moves to its IpAddress: the
answer to the restart still leaves from the old address, then only the new one is answered.
After a download it runs the --upgrade-firmware version, if set, also after LoadDefault.

Traffic counters are 32-bit and wrap. Each access point counts at rates of its own, as if it
had been up for <number> hours at the start; a full restart sets every counter to 0. A counter
with an exact rate reads floor(rate x time) since it was last 0, plus where the rate last
changed or --counter-wrap put it, modulo 2^32; a restart keeps the rates.

Each access point runs the manufacturing tests: RfTestCommand 1..4 starts a test (continuous
TX, packet TX, packet RX, carrier) and the code + 128 stops it; a start while another test
runs is refused with genErr. Packet TX counts the packets of RfTestParameters up to its packet
number at the pace of its rate and length, one in a hundred bad; packet RX counts every datagram
that reaches <ap address>:<test port> while it runs. Register blocks (BasebandRegisters,
TxPowerSettings, SynthesizerRegisters) take operation 1 into the chip, 2 into flash and 3 to
read back: the baseband from the chip, power and RF2958 from flash. A full restart (SystemRestart
1) stops the running test and loads the chip from flash.
)";
}

}  // namespace kelvo::apsim
