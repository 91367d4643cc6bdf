// Reading the stub's version from its manifest; see stub_version.h.
#include "stub_version.h"

#include <algorithm>

namespace {

size_t Find(const Bytes& data, size_t from, size_t to, const std::string& text) {
  const auto at = std::search(data.begin() + from, data.begin() + to, text.begin(), text.end());
  return static_cast<size_t>(at - data.begin());
}

}  // namespace

std::string StubVersion(const Bytes& stub) {
  const size_t element = Find(stub, 0, stub.size(), "<assemblyIdentity");
  if (element == stub.size()) return "";
  const size_t end = Find(stub, element, stub.size(), ">");
  // The attribute, not a longer name ending in "version" (manifestVersion).
  const std::string attribute = " version=\"";
  const size_t at = Find(stub, element, end, attribute);
  if (at == end) return "";
  const size_t valueStart = at + attribute.size();
  const size_t valueEnd = Find(stub, valueStart, end, "\"");
  if (valueEnd == end) return "";
  return std::string(stub.begin() + valueStart, stub.begin() + valueEnd);
}
