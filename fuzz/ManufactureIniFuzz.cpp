// SPDX-License-Identifier: GPL-2.0-or-later
// The manufacturing switch: any bytes are the contents of "manufacture.ini", and the answer of
// ManufacturingEnabled must be that of the switch as it is described: lines cut into pieces of
// at most 63 characters, the first piece that starts with the section, then the first piece
// that is neither a lone line break nor starts with a space decides, its last character taken
// for the line break. A file without CR must answer the same when every LF becomes CR LF.
// The file lives in memory (memfd), reached through its /proc path, so no input touches a disk.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "pages/ManufacturingSwitch.h"

namespace {

[[noreturn]] void Fail(const char* rule) {
  std::fprintf(stderr, "manufacture_ini: broken rule: %s\n", rule);
  std::abort();
}

void Require(bool holds, const char* rule) {
  if (!holds) Fail(rule);
}

class MemoryFile {
 public:
  MemoryFile() : fd_(::memfd_create("manufacture.ini", MFD_CLOEXEC)) {
    Require(fd_ >= 0, "memfd_create works");
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }

  const std::string& Write(std::string_view contents) {
    Require(::ftruncate(fd_, 0) == 0, "the file can be emptied");
    std::size_t done = 0;
    while (done < contents.size()) {
      const ssize_t n =
          ::pwrite(fd_, contents.data() + done, contents.size() - done, static_cast<off_t>(done));
      Require(n > 0, "the file can be written");
      done += static_cast<std::size_t>(n);
    }
    return path_;
  }

 private:
  int fd_;
  std::string path_;
};

// The pieces the switch reads from a file without CR LF: each line (with its LF, when it has
// one) cut into pieces of 63 characters.
std::vector<std::string> Pieces(std::string_view text) {
  constexpr std::size_t kPiece = 63;
  std::vector<std::string> pieces;
  while (!text.empty()) {
    const std::size_t lf = text.find('\n');
    const std::size_t length = lf == std::string_view::npos ? text.size() : lf + 1;
    const std::string_view line = text.substr(0, length);
    for (std::size_t at = 0; at < line.size(); at += kPiece) {
      pieces.emplace_back(line.substr(at, kPiece));
    }
    text.remove_prefix(length);
  }
  return pieces;
}

bool Expected(std::string_view text) {
  const std::vector<std::string> pieces = Pieces(text);
  std::size_t i = 0;
  while (i < pieces.size() && !pieces[i].starts_with("[Manufacture5521]")) ++i;
  ++i;
  while (i < pieces.size() && (pieces[i] == "\n" || pieces[i].front() == ' ')) ++i;
  if (i >= pieces.size()) return false;
  const std::string& decisive = pieces[i];
  constexpr std::string_view kKey = "Enable5521=";
  if (!decisive.starts_with(kKey)) return false;
  return decisive.size() == kKey.size() + 2 && decisive[kKey.size()] == '1';
}

std::string WithCrLf(std::string_view text) {
  std::string result;
  for (const char c : text) {
    if (c == '\n') result += '\r';
    result += c;
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MemoryFile* file = new MemoryFile;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool enabled = kelvo::pages::ManufacturingEnabled(file->Write(text));
  if (text.find('\r') != std::string_view::npos) return 0;
  Require(enabled == Expected(text), "the switch reads the file as described");
  Require(kelvo::pages::ManufacturingEnabled(file->Write(WithCrLf(text))) == enabled,
          "CR LF line breaks read like LF");
  return 0;
}
