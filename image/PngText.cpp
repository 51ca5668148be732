#include "image/PngText.h"

#include <zlib.h>

#include "platform/CaptureClock.h"
#include "platform/Library.h"
#include "platform/Text.h"

namespace {

constexpr INT16 kLargestTimeZoneMinutes = 1440;
constexpr UINT32 kMinutesPerDay = 24 * 60;
// A chunk's data: the longest, "Source", is under 120 bytes.
constexpr UINTN kChunkDataBytes = 128;

// A chunk's data in a fixed buffer: text is Latin-1 here, and what does not
// fit is left out.
struct CHUNK_TEXT {
  UINT8 Bytes[kChunkDataBytes] = {};
  TextBuffer Text{Bytes, kChunkDataBytes};
};

BOOLEAN IsPrintableLatin1(CHAR16 Character) {
  return (Character >= 0x20 && Character <= 0x7E) || (Character >= 0xA0 && Character <= 0xFF);
}

// Days from 0000-03-01 in the proleptic Gregorian calendar, and back: years
// from 1899 on keep every step within 32 bits and non-negative.
UINT32 DaysFromCivil(UINT32 Year, UINT32 Month, UINT32 Day) {
  Year -= Month <= 2 ? 1 : 0;
  const UINT32 Era = Year / 400;
  const UINT32 YearOfEra = Year - Era * 400;
  const UINT32 DayOfYear = (153 * (Month > 2 ? Month - 3 : Month + 9) + 2) / 5 + Day - 1;
  return Era * 146097 + YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
}

VOID CivilFromDays(UINT32 Days, UINT32 *Year, UINT32 *Month, UINT32 *Day) {
  const UINT32 Era = Days / 146097;
  const UINT32 DayOfEra = Days - Era * 146097;
  const UINT32 YearOfEra = (DayOfEra - DayOfEra / 1460 + DayOfEra / 36524 - DayOfEra / 146096) / 365;
  const UINT32 DayOfYear = DayOfEra - (365 * YearOfEra + YearOfEra / 4 - YearOfEra / 100);
  const UINT32 MonthIndex = (5 * DayOfYear + 2) / 153;
  *Day = DayOfYear - (153 * MonthIndex + 2) / 5 + 1;
  *Month = MonthIndex < 10 ? MonthIndex + 3 : MonthIndex - 9;
  *Year = YearOfEra + Era * 400 + (*Month <= 2 ? 1 : 0);
}

BOOLEAN HasTimeZone(const EFI_TIME &Time) {
  return Time.TimeZone >= -kLargestTimeZoneMinutes && Time.TimeZone <= kLargestTimeZoneMinutes;
}

VOID PutTime(TextBuffer &Text, const EFI_TIME &Time) {
  Text.Time(Time, 'T');
  if (HasTimeZone(Time)) {
    // UEFI's TimeZone is the opposite of ISO 8601's offset: local time is UTC
    // minus it, so 480 is Pacific time, -08:00.
    const UINT32 Offset = static_cast<UINT32>(Time.TimeZone < 0 ? -Time.TimeZone : Time.TimeZone);
    Text.Put(Time.TimeZone > 0 ? '-' : '+');
    Text.Decimal(Offset / 60, 2);
    Text.Put(':');
    Text.Decimal(Offset % 60, 2);
  }
}

// tIME: the time in UTC, year in two bytes. UTC is local time plus
// TimeZone, whatever Daylight says: a zone the clock keeps already includes
// daylight saving.
VOID PutUtcTime(UINT8 *Data, const EFI_TIME &Time) {
  UINT32 Days = DaysFromCivil(Time.Year, Time.Month, Time.Day);
  INT32 Minute = static_cast<INT32>(Time.Hour) * 60 + Time.Minute + Time.TimeZone;
  if (Minute < 0) {
    Minute += kMinutesPerDay;
    Days--;
  } else if (Minute >= static_cast<INT32>(kMinutesPerDay)) {
    Minute -= kMinutesPerDay;
    Days++;
  }
  UINT32 Year = 0, Month = 0, Day = 0;
  CivilFromDays(Days, &Year, &Month, &Day);
  Data[0] = static_cast<UINT8>(Year >> 8);
  Data[1] = static_cast<UINT8>(Year);
  Data[2] = static_cast<UINT8>(Month);
  Data[3] = static_cast<UINT8>(Day);
  Data[4] = static_cast<UINT8>(Minute / 60);
  Data[5] = static_cast<UINT8>(Minute % 60);
  Data[6] = Time.Second;
}

}  // namespace

VOID PutBigEndian32(UINT8 *At, UINT32 Value) {
  At[0] = static_cast<UINT8>(Value >> 24);
  At[1] = static_cast<UINT8>(Value >> 16);
  At[2] = static_cast<UINT8>(Value >> 8);
  At[3] = static_cast<UINT8>(Value);
}

VOID FramePngChunk(const char Type[4], UINTN DataSize, UINT8 *Chunk) {
  PutBigEndian32(Chunk, static_cast<UINT32>(DataSize));
  CopyMem(Chunk + 4, Type, 4);
  PutBigEndian32(Chunk + 8 + DataSize, static_cast<UINT32>(crc32(0, Chunk + 4, static_cast<uInt>(DataSize + 4))));
}

UINTN WritePngChunk(const char Type[4], const UINT8 *Data, UINTN DataSize, UINT8 *Destination) {
  CopyMem(Destination + 8, Data, DataSize);
  FramePngChunk(Type, DataSize, Destination);
  return DataSize + 12;
}

UINTN WritePngTextChunks(const PNG_ORIGIN *Origin, UINT8 *Destination) {
  UINTN Length = 0;

  CHUNK_TEXT Software;
  Software.Text.Ascii("Software");
  Software.Text.Put(0);
  Software.Text.Ascii("Vistrel " VISTREL_VERSION);
  Length += WritePngChunk("tEXt", Software.Text.Data(), Software.Text.Size(), Destination + Length);

  CHUNK_TEXT Source;
  Source.Text.Ascii("Source");
  Source.Text.Put(0);
  UINTN Index = 0;
  for (; Origin->FirmwareVendor != nullptr && Index < kPngVendorCharacters && Origin->FirmwareVendor[Index] != 0;
       Index++) {
    const CHAR16 Character = Origin->FirmwareVendor[Index];
    Source.Text.Put(IsPrintableLatin1(Character) ? static_cast<UINT8>(Character) : '?');
  }
  if (Index == 0) {
    Source.Text.Ascii("Unnamed firmware");
  }
  Source.Text.Ascii(", ");
  Source.Text.Revisions(Origin->FirmwareRevision, Origin->UefiRevision, "; ");
  Length += WritePngChunk("tEXt", Source.Text.Data(), Source.Text.Size(), Destination + Length);

  const EFI_TIME *Time = Origin->Time;
  if (Time == nullptr || !IsUsableCaptureTime(Time)) {
    return Length;
  }
  CHUNK_TEXT Created;
  Created.Text.Ascii("Creation Time");
  Created.Text.Put(0);
  PutTime(Created.Text, *Time);
  Length += WritePngChunk("tEXt", Created.Text.Data(), Created.Text.Size(), Destination + Length);
  // tIME is UTC: without a time zone there is nothing to convert from.
  if (HasTimeZone(*Time)) {
    UINT8 Utc[7];
    PutUtcTime(Utc, *Time);
    Length += WritePngChunk("tIME", Utc, sizeof(Utc), Destination + Length);
  }
  return Length;
}
