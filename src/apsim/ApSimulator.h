// SPDX-License-Identifier: GPL-2.0-or-later
// A set of simulated access points behind one UDP socket: the destination address of each
// request selects the access point, a broadcast reaches all of them, and each one may be told
// to misbehave. Works on bytes and addresses only, so it runs without sockets in tests.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "ApDevice.h"
#include "SnmpPdu.h"
#include "TftpFetch.h"

namespace kelvo::apsim {

struct Fault {
  // IgnoreReset: a set of SystemRestart is carried out but never answered.
  // The reply faults (Varbinds to RequestId) spoil the reply of a request that was carried out
  // as usual; WrongType swaps INTEGER and OCTET STRING values (an integer becomes its decimal
  // text, an octet string the INTEGER of its length).
  enum class Kind {
    None,
    Silent,
    Delay,
    Error,
    Drop,
    IgnoreReset,
    Varbinds,
    WrongType,
    Octets,
    From,
    RequestId,
    Reboot,
  };
  Kind kind = Kind::None;
  long delayMs = 0;      // Delay: every reply leaves this much later
  long errorStatus = 0;  // Error: every answered request is refused with this status
  long errorIndex = 1;   //        and index, with nothing applied
  int dropPercent = 0;   // Drop: this share of requests is ignored, at random
  // Varbinds: this many variables are cut from (< 0) or added to (> 0) the end of the reply.
  int varbindDelta = 0;
  // Octets: every octet string of the reply loses (< 0) or gains (> 0) this many bytes.
  int octetsDelta = 0;
  std::uint32_t replyFrom = 0;  // From: the address the replies are sent from
  long requestIdDelta = 0;      // RequestId: added to the request id of every reply
  // Reboot: this many more requests are handled, then the access point is silent; for
  // rebootDownMs when that is not negative, after which it answers again with no fault.
  int rebootAfter = 0;
  long rebootDownMs = -1;
};

// What an accepted UpgradeServerAddress set starts: the access point fetches its image by TFTP
// from `server`, and the set is answered only once that download has ended.
struct UpgradeFetch {
  std::uint32_t server = 0;
  TftpClientSettings tftp;
  std::vector<std::uint8_t> failurePacket;  // the reply when the download fails: genErr
};

// One datagram the simulator wants sent.
struct OutgoingReply {
  std::size_t ap = 0;  // 0-based
  std::uint32_t from = 0;
  std::uint32_t to = 0;
  std::uint16_t toPort = 0;
  std::vector<std::uint8_t> packet;
  std::chrono::milliseconds delay{0};
  std::optional<std::string> newWriteCommunity;  // apply with ReplySent
  // The answer to a download that succeeded: once it is out (ReplySent), the access point
  // reboots into the new image.
  bool restarts = false;
  // When set, hold the reply until the download has ended; then send `packet` if the whole
  // image arrived, else upgrade->failurePacket.
  std::optional<UpgradeFetch> upgrade;
};

// The download of an access point's last UpgradeServerAddress set.
struct UpgradeRecord {
  enum class State { None, Fetching, Done, Failed };
  State state = State::None;
  std::uint64_t bytes = 0;          // received so far; the image's size once Done
  std::vector<std::uint8_t> image;  // Done
  std::string file;                 // Done: where the image was written, or empty
  std::string reason;               // Failed
};

// One variable of a request as an access point received it.
struct LogEntry {
  unsigned sequence = 0;  // the request's number at this access point, from 1
  std::string pdu;        // get, set, getnext or other
  std::string community;
  std::string oid;
  ValueText value;
};

struct SimulatorSettings {
  int count = 3;
  std::uint32_t firstAddress = 0x7F000002;  // 127.0.0.2
  std::string password = "admin";
  // Seeds the random request loss, and the settings of a varied fleet.
  std::uint32_t seed = 1;
  // Each access point gets settings of its own (DeviceVariation.h) instead of the factory ones.
  bool vary = false;
  // Destinations that every access point answers.
  std::vector<std::uint32_t> broadcastAddresses = {0xFFFFFFFF, 0x7FFFFFFF};
  TftpClientSettings tftp;  // every access point's firmware download, until changed
  // How long every access point stays silent when it restarts, until changed.
  std::chrono::milliseconds rebootTime{0};
  // The firmware every access point runs after its next successful download; nullopt: the
  // one it runs now.
  std::optional<std::string> upgradeFirmware;
  // Every access point's traffic counters.
  CounterSettings counters;
};

class ApSimulator {
 public:
  explicit ApSimulator(const SimulatorSettings& settings);

  // Handles one received datagram; the replies to send, in order, each from the address of
  // the access point that answers.
  std::vector<OutgoingReply> HandleDatagram(std::span<const std::uint8_t> packet,
                                            std::uint32_t destination, std::uint32_t source,
                                            std::uint16_t sourcePort, SimTime now);
  // To be called once a reply has been sent (or given up): completes a password change or
  // reboots after a download.
  void ReplySent(const OutgoingReply& reply, SimTime now);
  // A datagram to the test port (65535) of `destination`: the access point with that address
  // counts it while its packet RX test runs. Returns whether it was counted.
  bool TestDatagramReceived(std::uint32_t destination);

  std::size_t Count() const { return aps_.size(); }
  ApDevice& Device(std::size_t ap) { return aps_[ap].device; }
  const ApDevice& Device(std::size_t ap) const { return aps_[ap].device; }
  // The access point that answers at `address` now.
  std::optional<std::size_t> FindByAddress(std::uint32_t address) const;

  // Replaces the access point's fault; a Reboot fault counts its requests from here.
  void SetFault(std::size_t ap, const Fault& fault);
  const Fault& FaultOf(std::size_t ap) const { return aps_[ap].fault; }

  void SetTftpSettings(std::size_t ap, const TftpClientSettings& tftp) { aps_[ap].tftp = tftp; }
  const TftpClientSettings& TftpSettingsOf(std::size_t ap) const { return aps_[ap].tftp; }

  // A full restart (SystemRestart 1, also when ignore-reset keeps it unanswered) and the
  // reboot after a successful download keep the access point silent this long: it logs the
  // requests it receives but answers none. Its IP settings take effect at either.
  void SetRebootTime(std::size_t ap, std::chrono::milliseconds time) { aps_[ap].rebootTime = time; }
  void SetUpgradeFirmware(std::size_t ap, std::optional<std::string> version) {
    aps_[ap].upgradeFirmware = std::move(version);
  }

  // The firmware download. While one runs, a further UpgradeServerAddress set to the same
  // access point is refused with genErr and changes nothing.
  const UpgradeRecord& Upgrade(std::size_t ap) const { return aps_[ap].upgrade; }
  void UpgradeProgressed(std::size_t ap, std::uint64_t bytes) { aps_[ap].upgrade.bytes = bytes; }
  void UpgradeSucceeded(std::size_t ap, std::vector<std::uint8_t> image, std::string file);
  void UpgradeFailed(std::size_t ap, std::string reason, std::uint64_t bytes);

  const std::deque<LogEntry>& Log(std::size_t ap) const { return aps_[ap].log; }
  // Empties the log; the next request is number 1 again.
  void ClearLog(std::size_t ap);

 private:
  struct Ap {
    Ap(ApDevice deviceValue, const SimulatorSettings& settings)
        : device(std::move(deviceValue)),
          tftp(settings.tftp),
          rebootTime(settings.rebootTime),
          upgradeFirmware(settings.upgradeFirmware) {}

    ApDevice device;
    Fault fault;
    std::deque<LogEntry> log;
    unsigned requests = 0;
    TftpClientSettings tftp;
    UpgradeRecord upgrade;
    int rebootRequests = 0;             // requests seen since the Reboot fault was set
    std::optional<SimTime> rebootDown;  // when the Reboot fault made it go silent
    std::chrono::milliseconds rebootTime{0};
    std::optional<std::string> upgradeFirmware;
    SimTime upAgain = SimTime::min();  // until then it is restarting
  };

  void Restarted(Ap& ap, SimTime now) { ap.upAgain = now + ap.rebootTime; }

  // Applies a Reboot fault to one more request; false when the request goes unanswered.
  static bool RebootLetsThrough(Ap& ap, SimTime now);
  static void SpoilReply(const Fault& fault, SnmpPdu& response);

  void Record(Ap& ap, const SnmpPdu& request);
  std::optional<OutgoingReply> Answer(std::size_t index, const SnmpPdu& request,
                                      std::uint32_t source, std::uint16_t sourcePort, SimTime now);

  std::vector<Ap> aps_;
  std::vector<std::uint32_t> broadcastAddresses_;
  std::mt19937 random_;
};

}  // namespace kelvo::apsim
