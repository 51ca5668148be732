// Configuration strings as HII defines them: the request's header in
// lower-case hex, and responses from drivers read strictly: values last
// byte first, the first header's block alone, anything malformed refused
// whole.
#include <cstring>

#include "forms/ConfigString.h"
#include "tests/unit/TestSupport.h"

namespace {

const CHAR16 *C(const std::u16string &Text) { return reinterpret_cast<const CHAR16 *>(Text.c_str()); }

TEST(ConfigString, RequestHeaderIsLowerCaseHexByteByByte) {
  fake::FakeFirmware Fw;
  {
    const EFI_GUID Guid = {0x5DAF50A5, 0xEA81, 0x4DE2, {0x8F, 0x9B, 0xCA, 0xBD, 0xA9, 0xCF, 0x5C, 0x14}};
    const UINT8 Path[] = {0x01, 0x04, 0x7F, 0xFF, 0x04, 0x00};
    ConfigRequest Request;
    Request.Header(Guid, STR16("Ab"), Path, sizeof(Path));
    Request.Block(0x20, 4);
    Request.Element(STR16("Speed"));
    EXPECT_EQ(U16(Request.Text()), u"GUID=a550af5d81eae24d8f9bcabda9cf5c14&NAME=00410062&PATH=01047fff0400"
                                   u"&OFFSET=0020&WIDTH=0004&Speed");
    EXPECT_EQ(Request.Length(), U16(Request.Text()).size());
    ConfigRequest Named;
    Named.Header(Guid, nullptr, Path, sizeof(Path));
    EXPECT_EQ(U16(Named.Text()).substr(37), u"&NAME=&PATH=01047fff0400");
  }
  EXPECT_EQ(Fw.LivePoolBlocks(), 0u);
}

TEST(ConfigString, ResponsesReadStrictly) {
  const std::u16string Header = u"GUID=00&NAME=0041&PATH=7fff0400";
  const struct {
    const char *What;
    std::u16string Response;
    EFI_STATUS Status;
    std::vector<UINT8> Bytes;  // of a 6-byte store, 0xEE where not covered
  } Cases[] = {
      {"last byte first, the header in any case, ALTCFG after the first block ignored",
       u"guid=00&name=0041&path=7FFF0400&OFFSET=0&WIDTH=2&VALUE=1234&OFFSET=0004&WIDTH=1&VALUE=ab"
       u"&GUID=00&NAME=0041&PATH=7fff0400&ALTCFG=0000&OFFSET=0&WIDTH=2&VALUE=ffff",
       EFI_SUCCESS, {0x34, 0x12, 0xEE, 0xEE, 0xAB, 0xEE}},
      {"no block", u"GUID=00&NAME=0041&PATH=7fff0400", EFI_SUCCESS, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}},
      {"another store's header", u"GUID=01&NAME=0041&PATH=7fff0400&OFFSET=0&WIDTH=1&VALUE=01", EFI_PROTOCOL_ERROR, {}},
      {"a VALUE shorter than its WIDTH", u"GUID=00&NAME=0041&PATH=7fff0400&OFFSET=0&WIDTH=2&VALUE=12",
       EFI_PROTOCOL_ERROR, {}},
      {"past the store's end", u"GUID=00&NAME=0041&PATH=7fff0400&OFFSET=5&WIDTH=2&VALUE=1234", EFI_PROTOCOL_ERROR, {}},
      {"no hex", u"GUID=00&NAME=0041&PATH=7fff0400&OFFSET=0&WIDTH=1&VALUE=zz", EFI_PROTOCOL_ERROR, {}},
      {"an offset of 17 digits", u"GUID=00&NAME=0041&PATH=7fff0400&OFFSET=00000000000000000&WIDTH=1&VALUE=01",
       EFI_PROTOCOL_ERROR, {}},
      {"a good block, then a broken one", u"GUID=00&NAME=0041&PATH=7fff0400&OFFSET=0&WIDTH=1&VALUE=01&OFFSET=1",
       EFI_PROTOCOL_ERROR, {}},
  };
  for (const auto &Case : Cases) {
    UINT8 Bytes[6], Covered[6] = {};
    std::memset(Bytes, 0xEE, sizeof(Bytes));
    EXPECT_EQ(ParseBlockResponse(C(Case.Response), C(Header), Bytes, Covered, sizeof(Bytes)), Case.Status) << Case.What;
    const std::vector<UINT8> Expected = Case.Bytes.empty() ? std::vector<UINT8>(6, 0xEE) : Case.Bytes;
    EXPECT_EQ(std::vector<UINT8>(Bytes, Bytes + 6), Expected) << Case.What;
    for (int At = 0; At < 6; At++) EXPECT_EQ(Covered[At] != 0, Expected[At] != 0xEE) << Case.What << " at " << At;
  }

  // Named values: the first block's, last byte first, within their room.
  const std::u16string Named = u"GUID=00&NAME=0041&PATH=7fff0400&Speeds=01&Speed=000a&GUID=00&ALTCFG=0000&Mode=02";
  UINT8 Value[2] = {};
  UINTN Width = 0;
  EXPECT_EQ(ParseNamedValue(C(Named), C(Header), STR16("Speed"), Value, sizeof(Value), &Width), EFI_SUCCESS);
  EXPECT_TRUE(Width == 2 && Value[0] == 0x0A && Value[1] == 0);
  EXPECT_EQ(ParseNamedValue(C(Named), C(Header), STR16("Mode"), Value, sizeof(Value), &Width), EFI_NOT_FOUND);
  EXPECT_EQ(ParseNamedValue(C(Header + u"&Speed=00a"), C(Header), STR16("Speed"), Value, 2, &Width), EFI_PROTOCOL_ERROR);
  EXPECT_EQ(ParseNamedValue(C(Header + u"&Speed=000a00"), C(Header), STR16("Speed"), Value, 2, &Width),
            EFI_PROTOCOL_ERROR);
}

}  // namespace
