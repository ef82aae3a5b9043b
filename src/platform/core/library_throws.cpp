// The C++ library reports a failed check of its own (an index past the end, a
// string longer than it can hold) through these helpers. The library's
// versions throw std::logic_error and its kin, whose message is a reference-
// counted string of the old ABI: they bring a second whole std::string with
// them, about 50 KiB of the program. Defined here, in an object the program
// always links, they are found before the library's; the unit tests keep the
// library's.
//
// A length error is a size that no allocation can satisfy: thrown as
// std::bad_alloc, which the archive and download paths already treat as running
// out of memory. Every other check that fails is a programming error that
// nothing catches by type; it reaches the crash report, which shows what().
#include <cstdarg>
#include <cstddef>
#include <exception>
#include <new>
#include <typeinfo>

namespace {
class LibraryCheckFailed : public std::exception {
 public:
  explicit LibraryCheckFailed(const char* text) {
    if (!text) text = "library check failed";
    size_t length = 0;
    for (; text[length] && length < sizeof(text_) - 1; ++length) text_[length] = text[length];
    text_[length] = '\0';
  }
  const char* what() const noexcept override { return text_; }

 private:
  char text_[160];
};

[[noreturn]] void Fail(const char* text) {
  throw LibraryCheckFailed(text);
}
}  // namespace

namespace std {
void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char* text) { Fail(text); }
void __throw_domain_error(const char* text) { Fail(text); }
void __throw_invalid_argument(const char* text) { Fail(text); }
void __throw_out_of_range(const char* text) { Fail(text); }
// The format's "%zu" arguments are left out: the fixed text says which check.
void __throw_out_of_range_fmt(const char* format, ...) { Fail(format); }
void __throw_runtime_error(const char* text) { Fail(text); }
void __throw_range_error(const char* text) { Fail(text); }
void __throw_overflow_error(const char* text) { Fail(text); }
void __throw_underflow_error(const char* text) { Fail(text); }
}  // namespace std
