// Writing an Inspection as JSON; see inspection_json.h. The keys are those
// of the text report in snake case, with the same values, so that a script
// gets what a reader of --inspect sees:
//   {"file_size": N | null,
//    "fields": {"stub_size": S, "install_directory": S, "setup_command": S} | null,
//    "resources": {"icon": [S, ...], "version": {KEY: S, ...}, "execution_level": S} | null,
//    "stub_size": N | null, "archive_start": N | null, "end_record": N | null,
//    "stub_size_matches": B | null,
//    "entries": {"count": N, "methods": {NAME: N, ...}} | null,
//    "sizes": {"compressed": N, "uncompressed": N} | null,
//    "setup_program": {"name": S, "in_archive": B, "arguments": S} | null,
//    "seal": "right" | "wrong" | "none" | null,
//    "options": ["wait", "pass-arguments"] | null,
//    "after_archive": {"bytes": N, "signature": {"offset": N, "size": N} | null,
//                      "other_bytes": N | null} | null,
//    "consistent": B, "problems": [S, ...], "warnings": [S, ...]}
// A field's blank value is "". Version strings are UTF-8 text and stay so.
// A file that cannot be read gives every fact null, "consistent": false and
// the reason in "problems".
#include "inspection_json.h"

#include <cstdio>

#include "archive_seal.h"

namespace {

// A JSON string. Bytes of the installer's fields and names are in an
// unknown 8-bit code page: each byte past ASCII is written as the code point
// of the same number (\u0080 to \u00FF), so the output is always valid JSON
// and every byte can be read back. UTF-8 text (`utf8`, the version strings)
// keeps its bytes; control characters are escaped in both.
std::string Quoted(const std::string& text, bool utf8 = false) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || (!utf8 && byte >= 0x7F)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Number(uint64_t value) { return std::to_string(value); }
std::string Boolean(bool value) { return value ? "true" : "false"; }

template <typename T, typename Write>
std::string OrNull(const std::optional<T>& value, Write write) {
  return value ? write(*value) : "null";
}

std::string List(const std::vector<std::string>& items, bool utf8 = false) {
  std::string list;
  for (const std::string& item : items) list += (list.empty() ? "" : ", ") + Quoted(item, utf8);
  return "[" + list + "]";
}

}  // namespace

std::string InspectionJson(const Inspection& facts) {
  const auto number = [](uint64_t value) { return Number(value); };
  std::string json = "{\"file_size\": " + OrNull(facts.fileSize, number);
  json += ", \"fields\": " + OrNull(facts.fields, [](const StoredFields& fields) {
            return "{\"stub_size\": " + Quoted(TrimmedField(fields.stubSize)) +
                   ", \"install_directory\": " + Quoted(TrimmedField(fields.installDirectory)) +
                   ", \"setup_command\": " + Quoted(TrimmedField(fields.setupCommand)) + "}";
          });
  json += ", \"resources\": " + OrNull(facts.resources, [](const Inspection::Resources& found) {
            std::string version;
            for (const auto& [key, value] : found.versionStrings) {
              version += (version.empty() ? "" : ", ") + Quoted(key, true) + ": " +
                         Quoted(value, true);
            }
            return "{\"icon\": " + List(found.iconSizes) + ", \"version\": {" + version +
                   "}, \"execution_level\": " + Quoted(found.executionLevel) + "}";
          });
  json += ", \"stub_size\": " + OrNull(facts.archiveStart, number);
  json += ", \"archive_start\": " + OrNull(facts.archiveStart, number);
  json += ", \"end_record\": " +
          (facts.archiveStart ? Number(facts.endRecord) : std::string("null"));
  json += ", \"stub_size_matches\": " + OrNull(facts.stubSizeMatches, Boolean);
  json += ", \"entries\": " + OrNull(facts.entryCount, [&](uint32_t count) {
            std::string methods;
            for (const auto& [name, each] : facts.methods) {
              methods += (methods.empty() ? "" : ", ") + Quoted(name) + ": " + Number(each);
            }
            return "{\"count\": " + Number(count) + ", \"methods\": {" + methods + "}}";
          });
  json += ", \"sizes\": " + OrNull(facts.entryCount, [&](uint32_t) {
            return "{\"compressed\": " + Number(facts.compressed) +
                   ", \"uncompressed\": " + Number(facts.uncompressed) + "}";
          });
  json += ", \"setup_program\": " + OrNull(facts.setup, [](const SetupModes& modes) {
            return "{\"name\": " + Quoted(modes.install.program) +
                   ", \"in_archive\": " + Boolean(modes.install.found) +
                   ", \"arguments\": " + Quoted(modes.install.arguments) + "}";
          });
  json += ", \"seal\": " +
          OrNull(facts.seal, [](const std::string& seal) { return Quoted(seal); });
  json += ", \"options\": " +
          OrNull(facts.options, [](uint8_t options) { return List(OptionWords(options)); });
  json += ", \"after_archive\": " + OrNull(facts.trailingBytes, [&](uint64_t trailing) {
            const auto& signature = facts.signature;
            const std::string other = signature && facts.signaturePlaced
                                          ? Number(trailing - signature->size)
                                          : signature ? "null" : Number(trailing);
            return "{\"bytes\": " + Number(trailing) + ", \"signature\": " +
                   OrNull(signature, [](const Inspection::Signature& each) {
                     return "{\"offset\": " + Number(each.offset) +
                            ", \"size\": " + Number(each.size) + "}";
                   }) +
                   ", \"other_bytes\": " + other + "}";
          });
  json += ", \"consistent\": " + Boolean(facts.problems.empty());
  return json + ", \"problems\": " + List(facts.problems) + ", \"warnings\": " +
         List(facts.warnings) + "}";
}
