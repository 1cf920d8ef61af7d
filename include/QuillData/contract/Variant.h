#pragma once
// The tagged value of the interface. Conversions between alternatives live in Coerce.h;
// nothing converts by hand elsewhere.
#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "QuillData/Export.h"
#include "QuillData/contract/Object.h"

QUILLDATA_API_BEGIN

namespace QuillData {

// The platform's variant type numbers.
enum class VarType : uint16_t {
  Empty = 0,
  Null = 1,
  Integer = 2,  // 16-bit
  Long = 3,     // 32-bit
  Double = 5,
  Date = 7,
  String = 8,
  Object = 9,
  Boolean = 11,
  Decimal = 14,
  Array = 0x200C,  // array of variants
  Bytes = 0x2011,  // array of bytes
};

// A date-time: days since 1899-12-30 00:00:00, the fraction being the time of day.
struct QUILLDATA_API Date {
  double value = 0;
  auto operator<=>(const Date&) const = default;
};

// An exact decimal: mantissa / 10^scale, with up to 28 decimal places and a 96-bit mantissa.
struct QUILLDATA_API Decimal {
  __int128 mantissa = 0;
  uint8_t scale = 0;

  // The double's 15 significant digits, as the platform converts a double to a decimal.
  static Decimal FromDouble(double value);
  // The fewest digits that read back as the same double: 0.1 for 0.1, and 1/3 with 16 digits.
  static Decimal FromShortestDouble(double value);
  // Exact text with "." as decimal point ("-12.50" for mantissa -1250, scale 2).
  std::string ToString() const;
  double ToDouble() const;
  bool operator==(const Decimal&) const = default;

 private:
  static Decimal FromDoubleDigits(double value, int significant);
};

class QUILLDATA_API Variant {
 public:
  using Array = std::vector<Variant>;
  using Bytes = std::vector<uint8_t>;

  Variant() = default;  // Empty
  static Variant Null();
  Variant(int16_t v) : v_(v) {}
  Variant(int32_t v) : v_(v) {}
  // Any other whole number (size_t, long, unsigned, ...) as a Long; error 6 (Overflow) when
  // it does not fit in 32 bits.
  template <std::integral T>
  requires(!std::same_as<T, bool> && sizeof(T) >= sizeof(int32_t) && !std::same_as<T, int32_t>)
      Variant(T v)
      : v_(FitLong(v)) {}
  Variant(double v) : v_(v) {}
  Variant(bool v) : v_(v) {}
  Variant(std::wstring v) : v_(std::move(v)) {}
  Variant(const wchar_t* v) : v_(std::wstring(v)) {}
  // Narrow text is UTF-8 ("shop.db", u8"Maße"): held as the wide string it decodes to.
  Variant(const char* utf8);
  Variant(const std::string& utf8);
  Variant(const char8_t* utf8);
  Variant(std::nullptr_t) = delete;  // Variant() is Empty, Variant::Null() is Null
  // Any other pointer would silently become a bool.
  template <class T>
  requires(!std::same_as<std::remove_cv_t<T>, char> &&
           !std::same_as<std::remove_cv_t<T>, wchar_t> &&
           !std::same_as<std::remove_cv_t<T>, char8_t>) Variant(T*) {
    static_assert(sizeof(T) == 0,
                  "A Variant holds no raw pointer: pass text as const wchar_t* or UTF-8 const "
                  "char*, and an object as a std::shared_ptr.");
  }
  Variant(Date v) : v_(v) {}
  Variant(Decimal v) : v_(v) {}
  Variant(Array v) : v_(std::move(v)) {}
  Variant(Bytes v) : v_(std::move(v)) {}
  template <class T>
  requires std::is_base_of_v<Object, T> Variant(std::shared_ptr<T> v)
      : v_(ObjectPtr(std::move(v))) {}

  VarType Type() const noexcept;
  bool IsEmpty() const noexcept { return v_.index() == 0; }
  bool IsNull() const noexcept { return v_.index() == 1; }
  bool IsObject() const noexcept { return std::holds_alternative<ObjectPtr>(v_); }

  // The stored alternative when it is exactly T (int16_t, int32_t, double, bool,
  // std::wstring, Date, Decimal, ObjectPtr, Array, Bytes), else nullptr.
  template <class T>
  const T* Get() const noexcept {
    return std::get_if<T>(&v_);
  }
  template <class T>
  T* Get() noexcept {
    return std::get_if<T>(&v_);
  }
  // The object as T when the variant holds an object of that class, else an empty pointer.
  template <class T>
  std::shared_ptr<T> ObjectAs() const {
    auto* o = std::get_if<ObjectPtr>(&v_);
    return o ? std::dynamic_pointer_cast<T>(*o) : nullptr;
  }

  bool operator==(const Variant& other) const { return v_ == other.v_; }

 private:
  template <class T>
  static int32_t FitLong(T v) {
    if (!std::in_range<int32_t>(v)) Overflow();
    return static_cast<int32_t>(v);
  }
  [[noreturn]] static void Overflow();

  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  std::variant<std::monostate, NullTag, int16_t, int32_t, double, bool, std::wstring, Date, Decimal,
               ObjectPtr, Array, Bytes>
      v_;
};

// The platform's name of a variant type ("Long", "String", "Empty", ...).
QUILLDATA_API const wchar_t* TypeName(VarType type);

}  // namespace QuillData

QUILLDATA_API_END
