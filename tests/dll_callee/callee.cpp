// A small shared library the DLL tests declare and call: values at their limits, strings in and
// out, buffers written by the callee, and callees that fault.
#include <csignal>
#include <cstring>

extern "C" {

int callee_add(int a, int b) {
  return a + b;
}

unsigned short callee_word(unsigned short w) {
  return w;
}

unsigned int callee_dword(unsigned int d) {
  return d;
}

int callee_int(int i) {
  return i;
}

// A word comes back with its high bits set, to show only the low 16 reach the script.
unsigned int callee_wide_word(void) {
  return 0x12345678u;
}

static int flag = 0;

void callee_set_flag(void) {
  flag = 7;
}

int callee_flag(void) {
  return flag;
}

const char* callee_greet(const char* name) {
  static char text[256];
  std::strcpy(text, "Hello, ");
  std::strncat(text, name, sizeof text - std::strlen(text) - 1);
  return text;
}

const char* callee_null_text(void) {
  return nullptr;
}

// Writes at most size - 1 bytes and a terminator.
int callee_fill(char* buffer, int size) {
  const char* text = "written by callee";
  int n = static_cast<int>(std::strlen(text));
  if (n > size - 1) n = size - 1;
  std::memcpy(buffer, text, static_cast<std::size_t>(n));
  buffer[n] = '\0';
  return n;
}

// Untyped style: every argument is a text address.
int callee_join_length(const char* a, const char* b, const char* c) {
  return static_cast<int>(std::strlen(a) + std::strlen(b) + std::strlen(c));
}

char* callee_upper(char* text) {
  for (char* p = text; *p; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  return text;
}

int callee_segfault(void) {
  volatile int* nowhere = nullptr;
  return *nowhere;
}

int callee_divide(int a, int b) {
  // Compiled division by zero would be undefined; the processor's fault is what is wanted.
  volatile int divisor = b;
  if (divisor == 0) std::raise(SIGFPE);
  return a / divisor;
}

int callee_bus_error(void) {
  std::raise(SIGBUS);
  return 0;
}

}  // extern "C"
