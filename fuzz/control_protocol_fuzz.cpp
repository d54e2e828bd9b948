// Fuzz target for the control socket's protocol in app/control_protocol.h.
//
// Byte 0 sets the size of each read (1 to 64); byte 1 the line bound: 1 to 128 bytes below
// 128, so that long lines are common, else kMaxControlLine. The rest is the stream. The
// reader must yield exactly the lines a plain split gives, up to the first one over the
// bound. Every line is decoded as a request and as a message; what decodes must encode to
// one line that decodes to the same again.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/control_protocol.h"

namespace {

using namespace corvane;
using namespace corvane::control;

void Check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

struct TSplit {
  std::vector<std::string> lines;
  bool overflowed = false;
};

// The lines of `stream` as the reader should give them.
TSplit PlainSplit(std::string_view stream, std::size_t bound) {
  TSplit split;
  std::size_t from = 0;
  for (std::size_t end; (end = stream.find('\n', from)) != std::string_view::npos; from = end + 1) {
    std::string_view line = stream.substr(from, end - from);
    if (line.size() > bound) {
      split.overflowed = true;
      return split;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) split.lines.emplace_back(line);
  }
  split.overflowed = stream.size() - from > bound;
  return split;
}

// One line with its "\n" and no other.
std::string_view Body(const std::string& encoded) {
  Check(!encoded.empty() && encoded.find('\n') == encoded.size() - 1);
  return std::string_view(encoded).substr(0, encoded.size() - 1);
}

void CheckRequest(const std::string& line) {
  const TDecodedRequest decoded = DecodeRequest(line);
  Check(decoded.request.has_value() == decoded.error.empty());
  Check(decoded.id.json.size() <= kMaxRequestId);
  if (!decoded.request) return;
  const std::string encoded = EncodeRequest(*decoded.request, decoded.id);
  const TDecodedRequest again = DecodeRequest(Body(encoded));
  Check(again.request.has_value() && *again.request == *decoded.request);
  Check(again.id == decoded.id);
}

void CheckMessage(const std::string& line) {
  const TDecodedMessage decoded = DecodeMessage(line);
  Check(decoded.message.has_value() == decoded.error.empty());
  if (!decoded.message) return;
  const std::string encoded = EncodeMessage(*decoded.message);
  const TDecodedMessage again = DecodeMessage(Body(encoded));
  Check(again.message.has_value() && EncodeMessage(*again.message) == encoded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t read_size = 1 + data[0] % 64;
  const std::size_t bound = data[1] < 128 ? 1 + data[1] : kMaxControlLine;
  const std::string_view stream(reinterpret_cast<const char*>(data) + 2, size - 2);

  TLineReader reader(bound);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < stream.size(); at += read_size) {
    reader.Feed(stream.substr(at, read_size));
    while (std::optional<std::string> line = reader.Next()) lines.push_back(std::move(*line));
  }
  const TSplit expected = PlainSplit(stream, bound);
  Check(lines == expected.lines);
  Check(reader.Overflowed() == expected.overflowed);

  for (const std::string& line : lines) {
    CheckRequest(line);
    CheckMessage(line);
  }
  return 0;
}
