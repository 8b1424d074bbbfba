// What a template of the definition builds, byte by byte: a fixed byte or one encoded part of the
// variable "s", "t" or "u" (the wildcard "ff" builds the device byte, "u"). The instrument's side
// of the template language: it reads the values back out of a message the librarian built and tells
// whether the message is exactly that build.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace banklore {

enum class Variable : std::size_t { S = 0, T = 1, U = 2 };

// Values of "s", "t", "u", and which of them a message carried.
struct VariableValues {
  std::array<std::int32_t, 3> value{};
  std::array<bool, 3> present{};

  std::int32_t operator[](Variable v) const { return value[static_cast<std::size_t>(v)]; }
  bool has(Variable v) const { return present[static_cast<std::size_t>(v)]; }
  void set(Variable v, std::int32_t x) {
    value[static_cast<std::size_t>(v)] = x;
    present[static_cast<std::size_t>(v)] = true;
  }
};

class MessageShape {
 public:
  explicit MessageShape(std::string templateText);

  // Bytes the template builds (fields that name no variable build none).
  std::size_t size() const { return parts_.size(); }
  bool empty() const { return parts_.empty(); }
  bool carries(Variable v) const;

  // The variables read back from `bytes`: each byte of a variable adds the bits its selector
  // encodes (s2 bits 7-13, s1 bits 0-6, ...). Bytes beyond the end add nothing.
  VariableValues decode(std::span<const std::uint8_t> bytes) const;
  // The template built with these values (absent ones as 0), as the librarian builds it.
  std::vector<std::uint8_t> build(const VariableValues& values) const;
  // The values, when `bytes` is exactly what the template builds for them; the byte at `skip` (a
  // checksum) is not compared.
  std::optional<VariableValues> match(std::span<const std::uint8_t> bytes,
                                      std::optional<std::size_t> skip = std::nullopt) const;

 private:
  struct Part {
    std::optional<Variable> variable;  // none: a fixed byte
    char selector = '\0';
  };
  std::string text_;
  std::vector<Part> parts_;
};

}  // namespace banklore
