// The reading side shared by every decoder: refills, the stop after the
// compressed size, the bit buffer, CRC-32, the pump and the progress poll.
#include <gtest/gtest.h>

#include "platform/posix/host_controls.h"
#include "test_support.h"
#include "unzip/engine_state.h"

namespace {

class InputLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    Engine = EngineState{};
    Engine.Archive = kNoFile;
  }
  void TearDown() override {
    CloseFile(Engine.Archive);
    HoldKeyDown(0);
    UseRealTickCount();
    SetPumpHook(nullptr, nullptr);
  }
  // Opens a file of the given bytes as the archive, at its start.
  void OpenArchive(const Bytes& bytes) {
    WriteWholeFile(dir / "archive", bytes);
    Engine.Archive = OpenForReading((dir / "archive").c_str());
    ASSERT_NE(Engine.Archive, kNoFile);
    ResetInput();
  }
  uint32_t CrcOf(const Bytes& bytes) {
    Engine.RunningCrc = 0xFFFFFFFF;
    UpdateCrc(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return ~Engine.RunningCrc;
  }
  TempDir dir;
};

// Both ways of computing the CRC (the table path is forced by refusing the
// carry-less multiply; on a processor without it both runs take it): every
// length up to past several four-block strides, at odd alignments, and
// pieces folded one after another give the register of one call.
TEST_F(InputLayer, CrcMatchesKnownValuesAndTheBitwiseReference) {
  Bytes data = PatternBytes(400, 7);
  for (bool refuse : {false, true}) {
    SCOPED_TRACE(refuse ? "tables" : "carry-less multiply where available");
    RefuseCarrylessMultiply(refuse);
    EXPECT_EQ(CrcOf(ToBytes("123456789")), 0xCBF43926u);
    EXPECT_EQ(CrcOf({}), 0u);
    for (size_t start : {0, 1, 3, 8, 13}) {
      for (size_t length = 0; length + start <= 320; ++length) {
        Bytes piece(data.begin() + start, data.begin() + start + length);
        ASSERT_EQ(CrcOf(piece), ReferenceCrc(piece)) << start << " " << length;
      }
    }
    Engine.RunningCrc = 0xFFFFFFFF;
    UpdateCrc(data.data(), 13);
    UpdateCrc(data.data() + 13, 100);
    UpdateCrc(data.data() + 113, 287);
    EXPECT_EQ(~Engine.RunningCrc, ReferenceCrc(data));
  }
  RefuseCarrylessMultiply(false);
}

TEST_F(InputLayer, NeedBitsAppendsBytesAboveTheBitsHeld) {
  OpenArchive({0xA5, 0x3C, 0xFF});
  Engine.CompressedSize = 3;
  Engine.BitBuffer = 0x5;
  Engine.BitCount = 3;
  NeedBits(16);
  EXPECT_EQ(Engine.BitCount, 19);
  EXPECT_EQ(Engine.BitBuffer, 0x5u | 0xA5u << 3 | 0x3Cu << 11);
  EXPECT_EQ(Engine.BitBuffer & BitMask[16], (0x5u | 0xA5u << 3 | 0x3Cu << 11) & 0xFFFF);
  DropBits(3);
  EXPECT_EQ(Engine.BitBuffer, 0xA5u | 0x3Cu << 8);
  EXPECT_EQ(Engine.BitCount, 16);
  EXPECT_EQ(ReadByte(), 0xFF);  // whole bytes go on after the ones taken as bits
}

TEST_F(InputLayer, ReadingStopsAfterCompressedSizePlusTwoAndRepeatsStaleBytes) {
  Bytes file = PatternBytes(5000, 3);
  OpenArchive(file);
  Engine.CompressedSize = 100;
  RefillInput();
  EXPECT_EQ(Engine.BytesRead, 2048);
  EXPECT_FALSE(Engine.InputExhausted);
  EXPECT_EQ(Engine.InputLast, 2047);
  RefillInput();
  EXPECT_TRUE(Engine.InputExhausted);
  EXPECT_EQ(Engine.BytesRead, 2048);
  EXPECT_EQ(Engine.InputPos, 0);
  EXPECT_EQ(Engine.InputLast, 2047);
  EXPECT_TRUE(std::equal(file.begin(), file.begin() + 2048, Engine.InputBuffer));
}

TEST_F(InputLayer, EndOfFileSetsExhaustedAndCountsAWholeBuffer) {
  OpenArchive(PatternBytes(10, 4));
  Engine.CompressedSize = 5000;
  RefillInput();
  EXPECT_EQ(Engine.BytesRead, 10);
  EXPECT_EQ(Engine.InputLast, 9);
  EXPECT_FALSE(Engine.InputExhausted);
  RefillInput();
  EXPECT_TRUE(Engine.InputExhausted);
  EXPECT_EQ(Engine.BytesRead, 10 + 2048);
  EXPECT_EQ(Engine.InputLast, 2047);
}

TEST_F(InputLayer, SizesNearTheTopOfTheRangeStopWithoutOverflow) {
  OpenArchive(PatternBytes(4096, 5));
  Engine.CompressedSize = INT32_MAX;
  Engine.BytesRead = INT32_MAX - 100;
  RefillInput();
  EXPECT_TRUE(Engine.InputExhausted);
  EXPECT_EQ(Engine.BytesRead, INT32_MAX - 100);
}

TEST_F(InputLayer, RefillPumpsAndStampsTheTick) {
  OpenArchive(PatternBytes(100, 6));
  Engine.CompressedSize = 100;
  int pumped = 0;
  SetPumpHook([](void* count) { ++*static_cast<int*>(count); }, &pumped);
  SetHostTickCount(4242);
  RefillInput();
  EXPECT_EQ(pumped, 1);
  EXPECT_EQ(Engine.LastPumpTick, 4242u);
  // Past the end: neither pump nor progress check.
  Engine.BytesRead = 103;
  RefillInput();
  EXPECT_EQ(pumped, 1);
}

TEST_F(InputLayer, ProgressPercentageInBothRanges) {
  Engine.CompressedSize = 4000000;
  Engine.BytesRead = 3000000;
  CheckProgress();
  EXPECT_EQ(Engine.LastPercent, 75);
  Engine.CompressedSize = 1;
  Engine.BytesRead = 2048;
  CheckProgress();
  EXPECT_EQ(Engine.LastPercent, 100);
  Engine.CompressedSize = 999999;
  Engine.BytesRead = 999998;
  CheckProgress();
  EXPECT_EQ(Engine.LastPercent, 99);
  Engine.CompressedSize = 2147483547;
  Engine.BytesRead = 21474835;  // just under 1 percent
  CheckProgress();
  EXPECT_EQ(Engine.LastPercent, 0);
  Engine.BytesRead = 21474836 + 1;
  CheckProgress();
  EXPECT_EQ(Engine.LastPercent, 1);
}

TEST_F(InputLayer, AbortKeyIsPolledOnlyWhenThePercentageMoves) {
  Engine.AbortKey = 27;
  HoldKeyDown(27);
  Engine.CompressedSize = 0;  // never polled, never divided
  Engine.BytesRead = 2048;
  CheckProgress();
  EXPECT_FALSE(Engine.AbortRequested);

  Engine.CompressedSize = 100;
  Engine.BytesRead = 0;  // 0 percent equals the reset value
  CheckProgress();
  EXPECT_FALSE(Engine.AbortRequested);
  Engine.BytesRead = 50;
  CheckProgress();
  EXPECT_TRUE(Engine.AbortRequested);
  HoldKeyDown(0);
  CheckProgress();  // unchanged: not polled, the flag stays
  EXPECT_TRUE(Engine.AbortRequested);
  Engine.BytesRead = 60;
  CheckProgress();  // polled again: assigned, not accumulated
  EXPECT_FALSE(Engine.AbortRequested);

  Engine.AbortKey = 0;  // disabled
  HoldKeyDown(27);
  Engine.BytesRead = 70;
  CheckProgress();
  EXPECT_FALSE(Engine.AbortRequested);
}

}  // namespace
