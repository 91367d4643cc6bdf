// The few C library routines the stub needs, because the stub links no C
// runtime: the memory and string functions that the compiler emits calls to
// (memcpy, memset for block moves and zeroing) and that the engine calls by
// name. Linked into the stub only; the other Windows programs keep their C
// runtime. This file is compiled freestanding, so that the compiler never
// turns one of these loops back into a call of itself.
//
// Block moves and fills use the string instructions, which every x86 since
// the 8086 has and which today's processors run at full speed for long
// blocks; the stub's largest moves are output window and input buffer
// copies of up to 32 KB.
#include <stddef.h>

extern "C" {

void* memcpy(void* destination, const void* source, size_t count) {
  void* result = destination;
  asm volatile("rep movsb" : "+D"(destination), "+S"(source), "+c"(count) : : "memory");
  return result;
}

void* memmove(void* destination, const void* source, size_t count) {
  unsigned char* to = static_cast<unsigned char*>(destination);
  const unsigned char* from = static_cast<const unsigned char*>(source);
  if (to <= from || to >= from + count) return memcpy(destination, source, count);
  // The destination overlaps the source's end: copy from the last byte down.
  while (count != 0) {
    --count;
    to[count] = from[count];
  }
  return destination;
}

void* memset(void* destination, int value, size_t count) {
  void* result = destination;
  asm volatile("rep stosb" : "+D"(destination), "+c"(count) : "a"(value) : "memory");
  return result;
}

int memcmp(const void* left, const void* right, size_t count) {
  const unsigned char* a = static_cast<const unsigned char*>(left);
  const unsigned char* b = static_cast<const unsigned char*>(right);
  for (size_t i = 0; i < count; ++i) {
    if (a[i] != b[i]) return a[i] - b[i];
  }
  return 0;
}

size_t strlen(const char* text) {
  size_t length = 0;
  while (text[length] != '\0') ++length;
  return length;
}

char* strchr(const char* text, int character) {
  for (;; ++text) {
    if (*text == static_cast<char>(character)) return const_cast<char*>(text);
    if (*text == '\0') return nullptr;
  }
}

int strcmp(const char* left, const char* right) {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(left);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(right);
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a - *b;
}

}  // extern "C"
