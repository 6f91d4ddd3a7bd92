// SPDX-License-Identifier: GPL-2.0-or-later
#include "snmp/NetSnmpLibrary.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

#include <mutex>
#include <string>
#include <utility>

namespace kelvo::snmp {
namespace {

std::function<void(int, std::string_view)>& LogSink() {
  static std::function<void(int, std::string_view)> sink;
  return sink;
}

int ForwardLogLine(int /*majorId*/, int /*minorId*/, void* serverArg, void* /*clientArg*/) {
  const auto* message = static_cast<const snmp_log_message*>(serverArg);
  if (message != nullptr && message->msg != nullptr && LogSink()) {
    LogSink()(message->priority, message->msg);
  }
  return 0;
}

bool InitialiseOnce() {
  // Everything the library would otherwise read or write on its own is switched off before
  // the first call that could trigger it.
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_QUICK_PRINT, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_REVERSE_ENCODE, 1);

  // Without a handler of its own the library falls back to stderr; route its lines to us.
  snmp_disable_log();
  if (snmp_register_callback(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_LOGGING, ForwardLogLine,
                             nullptr) != SNMPERR_SUCCESS) {
    return false;
  }
  if (netsnmp_register_loghandler(NETSNMP_LOGHANDLER_CALLBACK, LOG_DEBUG) == nullptr) {
    return false;
  }

  // snmp_sess_init runs the library's internal start-up (request ids, defaults) without the
  // configuration and MIB reading that init_snmp() would do.
  netsnmp_session unused;
  snmp_sess_init(&unused);
  return true;
}

}  // namespace

bool EnsureNetSnmpLibrary() {
  static const bool ok = InitialiseOnce();
  return ok;
}

void SetNetSnmpLogSink(std::function<void(int priority, std::string_view line)> sink) {
  LogSink() = std::move(sink);
}

}  // namespace kelvo::snmp
