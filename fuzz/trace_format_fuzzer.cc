// Fuzzes the trace's value forms of characters and floating-point numbers.
//
// append_char_literal over every code point U+0000..U+10FFFF (surrogates
// included): the form is quoted, reads back as the same code point, and never
// shows a control character, a line or paragraph separator, a surrogate or
// the escaped characters raw. append_float over every bit pattern of a
// double: the form reads back as the same value, uses positional notation
// exactly for zero and magnitudes in [1e-4, 1e16), and is the shortest
// decimal that reads back (no decimal with one significant digit fewer
// does).

#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>

#include "char_utils/utf8.h"
#include "fuzz_check.h"
#include "solver/trace_format.h"

namespace {

bool is_lower_hex_digit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

char32_t read_back_char_literal(std::string_view form) {
  FUZZ_CHECK(form.size() >= 3 && form.front() == '\'' && form.back() == '\'');
  const std::string_view inner = form.substr(1, form.size() - 2);
  if (inner.front() != '\\') {
    FUZZ_CHECK(inner != "'");
    std::size_t position = 0;
    const char32_t code_point = vorpalyx::decode_utf8(inner, &position);
    FUZZ_CHECK(position == inner.size());
    FUZZ_CHECK(vorpalyx::is_valid_utf8(inner));
    return code_point;
  }
  if (inner == "\\'") return U'\'';
  if (inner == "\\\\") return U'\\';
  if (inner == "\\t") return U'\t';
  if (inner == "\\r") return U'\r';
  if (inner == "\\n") return U'\n';
  if (inner == "\\0") return U'\0';
  FUZZ_CHECK(inner.starts_with("\\u{") && inner.ends_with("}"));
  const std::string_view hex = inner.substr(3, inner.size() - 4);
  FUZZ_CHECK(!hex.empty() && hex.size() <= 6 && hex.front() != '0');
  for (char digit : hex) FUZZ_CHECK(is_lower_hex_digit(digit));
  std::uint32_t value = 0;
  const auto [end, error] =
      std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
  FUZZ_CHECK(error == std::errc() && end == hex.data() + hex.size());
  return value;
}

bool must_never_print_raw(char32_t code_point) {
  return code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F) ||
         code_point == 0x2028 || code_point == 0x2029 ||
         (code_point >= 0xD800 && code_point <= 0xDFFF) || code_point == 0xA0 ||
         code_point == 0x3000 || code_point == 0x200B || code_point == 0xFEFF ||
         code_point == 0xE000 || (code_point >= 0x300 && code_point <= 0x36F) ||
         code_point == U'\'' || code_point == U'\\';
}

void check_char_literal(char32_t code_point) {
  std::string form = "x";
  vorpalyx::append_char_literal(form, code_point);
  FUZZ_CHECK(form.front() == 'x');  // appends, never replaces
  const std::string_view literal = std::string_view(form).substr(1);
  FUZZ_CHECK(read_back_char_literal(literal) == code_point);
  if (literal[1] != '\\') FUZZ_CHECK(!must_never_print_raw(code_point));
  if (code_point == U' ' || code_point == U'"' || code_point == U'a') {
    FUZZ_CHECK(literal.size() == 3);
  }
}

double read_double(std::string_view text) {
  double value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  FUZZ_CHECK(error == std::errc() && end == text.data() + text.size());
  return value;
}

// Significant digits and exponent of a form: value = 0.DIGITS x 10^exponent,
// DIGITS without leading or trailing zeros.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

Decimal decimal_of(std::string_view form) {
  int exponent = 0;
  const std::size_t e_position = form.find('e');
  if (e_position != std::string_view::npos) {
    exponent = static_cast<int>(read_double(form.substr(e_position + 1)));
    form = form.substr(0, e_position);
  }
  Decimal decimal;
  const std::size_t point = form.find('.');
  const std::size_t integer_digits =
      point == std::string_view::npos ? form.size() : point;
  decimal.exponent = exponent + static_cast<int>(integer_digits);
  for (char c : form) {
    if (c != '.') decimal.digits.push_back(c);
  }
  while (!decimal.digits.empty() && decimal.digits.front() == '0') {
    decimal.digits.erase(0, 1);
    --decimal.exponent;
  }
  while (!decimal.digits.empty() && decimal.digits.back() == '0') {
    decimal.digits.pop_back();
  }
  return decimal;
}

// False also when the decimal lies outside the range of a double.
bool reads_back_as(const std::string& digits, int exponent, double value) {
  const std::string text = "0." + digits + "e" + std::to_string(exponent);
  double parsed = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), parsed);
  return error == std::errc() && parsed == value;
}

void check_shortest(std::string_view form, double magnitude) {
  const Decimal decimal = decimal_of(form);
  FUZZ_CHECK(!decimal.digits.empty() && decimal.digits.size() <= 17);
  FUZZ_CHECK(reads_back_as(decimal.digits, decimal.exponent, magnitude));
  if (decimal.digits.size() == 1) return;
  // The two decimals with one digit fewer that enclose the value.
  std::string below = decimal.digits.substr(0, decimal.digits.size() - 1);
  FUZZ_CHECK(!reads_back_as(below, decimal.exponent, magnitude));
  std::string above = below;
  int above_exponent = decimal.exponent;
  std::size_t i = above.size();
  while (i > 0 && above[i - 1] == '9') above[--i] = '0';
  if (i == 0) {
    above.insert(above.begin(), '1');
    ++above_exponent;
  } else {
    ++above[i - 1];
  }
  FUZZ_CHECK(!reads_back_as(above, above_exponent, magnitude));
}

void check_float(double value) {
  std::string form;
  vorpalyx::append_float(form, value);
  if (std::isnan(value)) {
    FUZZ_CHECK(form == "NaN");
    return;
  }
  if (std::isinf(value)) {
    FUZZ_CHECK(form == (value > 0 ? "inf" : "-inf"));
    return;
  }
  FUZZ_CHECK(!form.empty());
  FUZZ_CHECK((form.front() == '-') == std::signbit(value));
  const std::string_view unsigned_form =
      std::string_view(form).substr(std::signbit(value) ? 1 : 0);
  FUZZ_CHECK(!unsigned_form.empty() && unsigned_form.front() != '-');
  FUZZ_CHECK(form.find('+') == std::string::npos);
  FUZZ_CHECK(std::bit_cast<std::uint64_t>(read_double(form)) ==
             std::bit_cast<std::uint64_t>(value));

  const double magnitude = std::fabs(value);
  const std::size_t point = unsigned_form.find('.');
  const std::size_t e_position = unsigned_form.find('e');
  if (magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e16)) {
    FUZZ_CHECK(e_position == std::string_view::npos);
    FUZZ_CHECK(point != std::string_view::npos && point > 0 &&
               point + 1 < unsigned_form.size());
    // No superfluous leading zero, and no trailing zero beyond ".0".
    FUZZ_CHECK(point == 1 || unsigned_form.front() != '0');
    FUZZ_CHECK(unsigned_form.back() != '0' ||
               point + 2 == unsigned_form.size());
  } else {
    FUZZ_CHECK(e_position != std::string_view::npos);
    const std::string_view mantissa = unsigned_form.substr(0, e_position);
    const std::string_view exponent = unsigned_form.substr(e_position + 1);
    FUZZ_CHECK(mantissa.front() >= '1' && mantissa.front() <= '9');
    FUZZ_CHECK(
        mantissa.size() == 1 ||
        (mantissa[1] == '.' && mantissa.size() > 2 && mantissa.back() != '0'));
    const std::string_view exponent_digits =
        exponent.substr(exponent.starts_with('-') ? 1 : 0);
    FUZZ_CHECK(!exponent_digits.empty() && exponent_digits.front() != '0');
  }
  if (magnitude != 0) check_shortest(unsigned_form, magnitude);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::uint32_t code_point_bits = 0;
  std::uint64_t float_bits = 0;
  std::memcpy(&code_point_bits, data, std::min(size, sizeof code_point_bits));
  if (size > sizeof code_point_bits) {
    std::memcpy(&float_bits, data + sizeof code_point_bits,
                std::min(size - sizeof code_point_bits, sizeof float_bits));
  }
  check_char_literal(static_cast<char32_t>(code_point_bits % 0x110000));
  check_float(std::bit_cast<double>(float_bits));
  return 0;
}
