#include "platform/Print.h"

#include <stdarg.h>

namespace {

constexpr UINTN kMostDigits = 24;  // a UINT64 in octal, 22, and room to spare
// Printed text reaches the console in pieces of this many characters.
constexpr UINTN kConsoleChunkLength = 128;

// Where formatted characters go: a caller's buffer, or the console in chunks.
class TextSink {
 public:
  TextSink(CHAR16 *Buffer, UINTN Capacity, BOOLEAN ToConsole)
      : mBuffer(Buffer), mCapacity(Capacity), mToConsole(ToConsole) {}

  VOID Put(CHAR16 Character) {
    if (mUsed + 1 >= mCapacity) {
      if (!mToConsole) {
        return;  // the buffer is full: the rest is cut
      }
      Flush();
    }
    mBuffer[mUsed++] = Character;
    mCount++;
  }

  VOID Flush() {
    mBuffer[mUsed] = 0;
    if (mToConsole && mUsed != 0) {
      gST->ConOut->OutputString(gST->ConOut, mBuffer);
      mUsed = 0;
    }
  }

  UINTN Count() const { return mCount; }

 private:
  CHAR16 *mBuffer;
  UINTN mCapacity;  // characters, the NUL included
  BOOLEAN mToConsole;
  UINTN mUsed = 0;
  UINTN mCount = 0;
};

VOID PutNumber(TextSink &Sink, UINT64 Value, BOOLEAN Negative, UINT32 Base, BOOLEAN UpperCase,
               UINTN Width, CHAR16 Pad) {
  CHAR16 Digits[kMostDigits];
  UINTN Length = 0;
  const char *Alphabet = UpperCase ? "0123456789ABCDEF" : "0123456789abcdef";
  do {
    Digits[Length++] = static_cast<UINT8>(Alphabet[Value % Base]);
    Value /= Base;
  } while (Value != 0);
  UINTN Shown = Length + (Negative ? 1 : 0);
  if (Negative && Pad == '0') {
    Sink.Put('-');
  }
  for (; Shown < Width; Shown++) {
    Sink.Put(Pad);
  }
  if (Negative && Pad != '0') {
    Sink.Put('-');
  }
  while (Length != 0) {
    Sink.Put(Digits[--Length]);
  }
}

VOID PutString16(TextSink &Sink, const CHAR16 *String) {
  if (String == nullptr) {
    String = STR16("<null string>");
  }
  for (; *String != 0; String++) {
    Sink.Put(*String);
  }
}

VOID FormatText(TextSink &Sink, const CHAR16 *Format, va_list Arguments) {
  for (; *Format != 0; Format++) {
    if (*Format == '\n') {
      Sink.Put('\r');
      Sink.Put('\n');
      continue;
    }
    if (*Format != '%') {
      Sink.Put(*Format);
      continue;
    }
    Format++;
    CHAR16 Pad = ' ';
    if (*Format == '0') {
      Pad = '0';
      Format++;
    }
    UINTN Width = 0;
    while (*Format >= '0' && *Format <= '9') {
      Width = Width * 10 + static_cast<UINTN>(*Format - '0');
      Format++;
    }
    BOOLEAN Wide = FALSE;
    if (*Format == 'l' || *Format == 'L') {
      Wide = TRUE;
      Format++;
    }
    switch (*Format) {
      case 'S':
      case 's':
        PutString16(Sink, va_arg(Arguments, const CHAR16 *));
        break;
      case 'a': {
        const char *Ascii = va_arg(Arguments, const char *);
        for (; Ascii != nullptr && *Ascii != 0; Ascii++) {
          Sink.Put(static_cast<UINT8>(*Ascii));
        }
        break;
      }
      case 'c':
        Sink.Put(static_cast<CHAR16>(va_arg(Arguments, int)));
        break;
      case 'd': {
        const INT64 Value = Wide ? va_arg(Arguments, INT64) : va_arg(Arguments, INT32);
        const UINT64 Magnitude = Value < 0 ? 0 - static_cast<UINT64>(Value) : static_cast<UINT64>(Value);
        PutNumber(Sink, Magnitude, Value < 0, 10, TRUE, Width, Pad);
        break;
      }
      case 'u':
      case 'X':
      case 'x': {
        const UINT64 Value = Wide ? va_arg(Arguments, UINT64) : va_arg(Arguments, UINT32);
        PutNumber(Sink, Value, FALSE, *Format == 'u' ? 10 : 16, *Format == 'X', Width, Pad);
        break;
      }
      case 0:
        return;  // a lone '%' at the end
      default:
        Sink.Put(*Format);  // "%%" and unknown conversions show the character
        break;
    }
  }
}

// The whole text into Sink, flushed; the characters it took.
UINTN FormatAll(TextSink &Sink, const CHAR16 *Format, va_list Arguments) {
  FormatText(Sink, Format, Arguments);
  Sink.Flush();
  return Sink.Count();
}

}  // namespace

UINTN Print(const CHAR16 *Format, ...) {
  CHAR16 Chunk[kConsoleChunkLength];
  TextSink Sink(Chunk, kConsoleChunkLength, TRUE);
  va_list Arguments;
  va_start(Arguments, Format);
  const UINTN Count = FormatAll(Sink, Format, Arguments);
  va_end(Arguments);
  return Count;
}

UINTN UnicodeSPrint(CHAR16 *Buffer, UINTN BufferSize, const CHAR16 *Format, ...) {
  const UINTN Capacity = BufferSize / sizeof(CHAR16);
  if (Buffer == nullptr || Capacity == 0) {
    return 0;
  }
  TextSink Sink(Buffer, Capacity, FALSE);
  va_list Arguments;
  va_start(Arguments, Format);
  const UINTN Count = FormatAll(Sink, Format, Arguments);
  va_end(Arguments);
  return Count;
}
