// SPDX-License-Identifier: GPL-2.0-or-later
// kelvo-cli exporter: the access points' traffic counters as a Prometheus metrics endpoint,
// read from every access point at each scrape.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kelvo::cli {

int RunExporter(std::uint16_t port, std::vector<std::string_view> args);

}  // namespace kelvo::cli
