// MidiPort over the loopback backend: states, device choice, the send log and input handling.
#include "midi/midi_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>

#include "midi/loopback_backend.h"
#include "midi/support/recorder.h"
#include "midi/support/test_log.h"

namespace banklore {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using Bytes = std::vector<std::uint8_t>;

class MidiPortTest : public ::testing::Test {
 protected:
  void SetUp() override { loopback::reset(); }
  void TearDown() override { loopback::reset(); }

  // A port whose input and output are the loopback port "Synth".
  std::unique_ptr<MidiPort> openSynthPort() {
    auto port = std::make_unique<MidiPort>(makeLoopbackBackend());
    recorder.attach(*port);
    port->SetInputDeviceName("Synth");
    port->SetOutputDeviceName("Synth");
    EXPECT_TRUE(port->Open());
    return port;
  }

  test::TestLog log;
  test::Recorder recorder;
};

TEST_F(MidiPortTest, OpenIsRefusedWhileOpenAndCloseIsHarmlessTwice) {
  loopback::addPort("Synth");
  MidiPort port(makeLoopbackBackend());
  port.SetInputDeviceName("Synth");
  port.SetOutputDeviceName("Synth");

  EXPECT_FALSE(port.isOpen());
  ASSERT_TRUE(port.Open());
  EXPECT_TRUE(port.isOpen());
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(loopback::openInputCount("Synth"), 1u);  // the refused Open left the devices alone
  EXPECT_EQ(loopback::openOutputCount("Synth"), 1u);

  port.Close();
  port.Close();
  EXPECT_FALSE(port.isOpen());
  EXPECT_EQ(loopback::openInputCount("Synth"), 0u);
  EXPECT_EQ(loopback::openOutputCount("Synth"), 0u);

  ASSERT_TRUE(port.Open());  // names persist across Close
  EXPECT_EQ(loopback::openInputCount("Synth"), 1u);
  EXPECT_EQ(loopback::openOutputCount("Synth"), 1u);
  EXPECT_EQ(log.contents(),
            "MM_MIM_OPEN\nMM_MOM_OPEN\nMM_MIM_CLOSE\nMM_MOM_CLOSE\nMM_MIM_OPEN\nMM_MOM_OPEN\n");
}

struct OpenCase {
  const char* title;
  bool hasInputs;
  bool hasOutputs;
  const char* inputName;
  const char* outputName;
  bool opens;
  std::size_t inputsOpened;
  std::size_t outputsOpened;
};

void PrintTo(const OpenCase& c, std::ostream* os) {
  *os << c.title;
}

class OpenCases : public MidiPortTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenCases, OpensWhatTheNamesSelect) {
  const OpenCase& c = GetParam();
  if (c.hasInputs) loopback::addPort("In", LoopbackDirection::InputOnly);
  if (c.hasOutputs) loopback::addPort("Out", LoopbackDirection::OutputOnly);
  MidiPort port(makeLoopbackBackend());
  port.SetInputDeviceName(c.inputName);
  port.SetOutputDeviceName(c.outputName);

  EXPECT_EQ(port.Open(), c.opens);
  EXPECT_EQ(port.isOpen(), c.opens);
  EXPECT_EQ(loopback::openInputCount("In"), c.inputsOpened);
  EXPECT_EQ(loopback::openOutputCount("Out"), c.outputsOpened);
  EXPECT_EQ(port.isInputOpen(), c.inputsOpened == 1);
  EXPECT_EQ(port.isOutputOpen(), c.outputsOpened == 1);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OpenCases,
    ::testing::Values(OpenCase{"BothNamesEmptyOnEmptySystem", false, false, "", "", true, 0, 0},
                      OpenCase{"BothFound", true, true, "In", "Out", true, 1, 1},
                      OpenCase{"InputNamedButNoInputDevice", false, true, "In", "Out", false, 0, 0},
                      OpenCase{"OutputNamedButNoOutputDevice", true, false, "In", "Out", false, 0,
                               0},
                      OpenCase{"CaseDiffers", true, true, "in", "OUT", true, 0, 0},
                      OpenCase{"PrefixOnly", true, true, "I", "Ou", true, 0, 0},
                      OpenCase{"TrailingBlank", true, true, "In ", "Out ", true, 0, 0},
                      OpenCase{"InputOnly", true, true, "In", "", true, 1, 0},
                      OpenCase{"DirectionsAreSeparate", true, true, "Out", "In", true, 0, 0}),
    [](const auto& info) { return std::string(info.param.title); });

TEST_F(MidiPortTest, UnmatchedNameIsLoggedAsMissingDevice) {
  loopback::addPort("Synth");
  MidiPort port(makeLoopbackBackend());
  port.SetInputDeviceName("synth");
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(log.contents(), "Midi Assertion failure: Error MIDIERR_NODEVICE\n");
}

TEST_F(MidiPortTest, TwoPortsWithOneNameOpenOnlyTheFirst) {
  loopback::addPort("Twin");
  loopback::addPort("Twin");
  MidiPort port(makeLoopbackBackend());
  port.SetInputDeviceName("Twin");
  port.SetOutputDeviceName("Twin");
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(loopback::openInputCount("Twin", 0), 1u);
  EXPECT_EQ(loopback::openInputCount("Twin", 1), 0u);
  EXPECT_EQ(loopback::openOutputCount("Twin", 0), 1u);
  EXPECT_EQ(loopback::openOutputCount("Twin", 1), 0u);
}

TEST_F(MidiPortTest, DeviceNamesAreCutAt255Characters) {
  const std::string longName(300, 'x');
  loopback::addPort(longName.substr(0, 255));
  MidiPort port(makeLoopbackBackend());
  port.SetOutputDeviceName(longName);
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(loopback::openOutputCount(longName.substr(0, 255)), 1u);
}

TEST_F(MidiPortTest, ListsDevicesInSystemOrderByDirection) {
  loopback::addPort("B", LoopbackDirection::OutputOnly);
  loopback::addPort("A");
  loopback::addPort("C", LoopbackDirection::InputOnly);
  MidiPort port(makeLoopbackBackend());
  EXPECT_THAT(port.inputDeviceNames(), ElementsAre("A", "C"));
  EXPECT_THAT(port.outputDeviceNames(), ElementsAre("B", "A"));
}

TEST_F(MidiPortTest, SendSysExDumpsAtMostSixteenBytesAndTheLast) {
  loopback::addPort("Synth", LoopbackDirection::OutputOnly);  // no echo lines in the log
  auto port = std::make_unique<MidiPort>(makeLoopbackBackend());
  port->SetOutputDeviceName("Synth");
  ASSERT_TRUE(port->Open());
  Bytes message(20);
  std::iota(message.begin(), message.end(), 0xE0);
  const std::string opened = log.contents();

  ASSERT_TRUE(port->SendSysEx(message.data(), message.size()));
  const std::uint8_t single = 0xF7;
  ASSERT_TRUE(port->SendSysEx(&single, 1));

  EXPECT_EQ(log.contents().substr(opened.size()),
            "Attempting to send 20 bytes:\n"
            "e0, e1, e2, e3, e4, e5, e6, e7, e8, e9, ea, eb, ec, ed, ee, ef, f3\n"
            "MM_MOM_DONE\n"
            "Attempting to send 1 bytes:\n"
            "f7\n"
            "MM_MOM_DONE\n");
}

TEST_F(MidiPortTest, SendSysExRefusesSilentlyWhenEmptyOrClosed) {
  loopback::addPort("Synth");
  MidiPort port(makeLoopbackBackend());
  port.SetOutputDeviceName("Synth");
  const Bytes message{0xF0, 0x01, 0xF7};

  EXPECT_FALSE(port.SendSysEx(message.data(), message.size()));  // never opened
  ASSERT_TRUE(port.Open());
  const std::string opened = log.contents();
  EXPECT_FALSE(port.SendSysEx(message.data(), 0));
  port.Close();
  const std::string closed = log.contents();
  EXPECT_FALSE(port.SendSysEx(message.data(), message.size()));

  EXPECT_EQ(opened, "MM_MOM_OPEN\n");
  EXPECT_EQ(closed, "MM_MOM_OPEN\nMM_MOM_CLOSE\n");
  EXPECT_EQ(log.contents(), closed);
  EXPECT_THAT(loopback::sentMessages("Synth"), IsEmpty());
}

TEST_F(MidiPortTest, SendSysExWithoutOutputDeviceFailsAfterTheDump) {
  loopback::addPort("Synth");
  MidiPort port(makeLoopbackBackend());
  ASSERT_TRUE(port.Open());  // both names empty
  const Bytes message{0xF0, 0x42, 0xF7};

  EXPECT_FALSE(port.SendSysEx(message.data(), message.size()));
  EXPECT_EQ(log.contents(),
            "Attempting to send 3 bytes:\nf0, 42, f7\n"
            "Midi Assertion failure: Error MMSYSERR_INVALHANDLE\n");
  EXPECT_THAT(loopback::sentMessages("Synth"), IsEmpty());
}

TEST_F(MidiPortTest, SentBytesAreTheCallersAtTheTimeOfTheCall) {
  loopback::addPort("Synth", LoopbackDirection::OutputOnly);
  MidiPort port(makeLoopbackBackend());
  port.SetOutputDeviceName("Synth");
  ASSERT_TRUE(port.Open());
  Bytes message{0xF0, 0x10, 0x20, 0xF7};
  ASSERT_TRUE(port.SendSysEx(message.data(), message.size()));
  message[1] = 0x7F;  // the caller reuses its buffer at once

  EXPECT_THAT(loopback::sentMessages("Synth"), ElementsAre(Bytes{0xF0, 0x10, 0x20, 0xF7}));
}

struct InputCase {
  const char* title;
  Bytes received;
  Bytes forwarded;  // empty: nothing forwarded
  const char* logged;
  std::vector<std::uint32_t> errors;
  const char* notice;  // substring of the notice, or null for none
};

void PrintTo(const InputCase& c, std::ostream* os) {
  *os << c.title;
}

class ShortInput : public MidiPortTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(ShortInput, IsCutToItsLengthOrReported) {
  const InputCase& c = GetParam();
  loopback::addPort("Synth", LoopbackDirection::InputOnly);
  MidiPort port(makeLoopbackBackend());
  recorder.attach(port);
  port.SetInputDeviceName("Synth");
  ASSERT_TRUE(port.Open());
  const std::string opened = log.contents();

  ASSERT_TRUE(loopback::inject("Synth", c.received));
  ASSERT_TRUE(loopback::waitUntilIdle());

  if (c.forwarded.empty()) {
    EXPECT_THAT(recorder.data(), IsEmpty());
  } else {
    EXPECT_THAT(recorder.data(), ElementsAre(c.forwarded));
  }
  EXPECT_EQ(recorder.errors(), c.errors);
  EXPECT_EQ(log.contents().substr(opened.size()), c.logged);
  if (c.notice) {
    ASSERT_EQ(recorder.notices().size(), 1u);
    EXPECT_THAT(recorder.notices()[0], HasSubstr(c.notice));
  } else {
    EXPECT_THAT(recorder.notices(), IsEmpty());
  }
}

constexpr const char* kData = "MIM_DATA/MIM_MOREDATA\n";

INSTANTIATE_TEST_SUITE_P(
    Classes, ShortInput,
    ::testing::Values(
        InputCase{"NoteOnChannel5", {0x94, 0x3C, 0x64}, {0x94, 0x3C, 0x64}, kData, {}, nullptr},
        InputCase{"ProgramChange", {0xC3, 0x05}, {0xC3, 0x05}, kData, {}, nullptr},
        InputCase{"ChannelPressure", {0xDF, 0x40}, {0xDF, 0x40}, kData, {}, nullptr},
        InputCase{"PitchBend", {0xE0, 0x00, 0x40}, {0xE0, 0x00, 0x40}, kData, {}, nullptr},
        InputCase{"SongPosition", {0xF2, 0x01, 0x02}, {0xF2, 0x01, 0x02}, kData, {}, nullptr},
        InputCase{"SongSelect", {0xF3, 0x07}, {0xF3, 0x07}, kData, {}, nullptr},
        InputCase{"ActiveSensing", {0xFE}, {0xFE}, kData, {}, nullptr},
        InputCase{"Reset", {0xFF}, {0xFF}, kData, {}, nullptr},
        InputCase{"LongerThanItsClassIsCut",
                  {0xB2, 0x07, 0x7F, 0x01},
                  {0xB2, 0x07, 0x7F},
                  kData,
                  {},
                  nullptr},
        InputCase{"TuneRequestIsNotHandled",
                  {0xF6},
                  {},
                  "MIM_DATA/MIM_MOREDATA\n"
                  "Got unknown (not handled) status byte f6. Please contact the author and tell "
                  "him which status byte it is. Thanks!\n",
                  {},
                  "status byte f6."},
        InputCase{"DataByteFirstIsNotHandled",
                  {0x3C, 0x40},
                  {},
                  "MIM_DATA/MIM_MOREDATA\n"
                  "Got unknown (not handled) status byte 30. Please contact the author and tell "
                  "him which status byte it is. Thanks!\n",
                  {},
                  "status byte 30."},
        InputCase{"TruncatedNoteOnIsAnError",
                  {0x90, 0x3C},
                  {},
                  "MIM_DATA/MIM_MOREDATA\nMM_MIM_ERROR\n",
                  {MidiPort::MIM_ERROR},
                  nullptr},
        InputCase{"StatusInPlaceOfDataIsAnError",
                  {0x90, 0x3C, 0x90},
                  {},
                  "MIM_DATA/MIM_MOREDATA\nMM_MIM_ERROR\n",
                  {MidiPort::MIM_ERROR},
                  nullptr}),
    [](const auto& info) { return std::string(info.param.title); });

TEST_F(MidiPortTest, SysExArrivesWholeAsOneCall) {
  loopback::addPort("Synth");
  auto port = openSynthPort();
  std::size_t expectedCalls = 0;
  for (std::size_t size : {std::size_t{2}, std::size_t{300}, std::size_t{70000}}) {
    Bytes message(size);
    for (std::size_t i = 0; i < size; ++i) message[i] = static_cast<std::uint8_t>(i % 0x80);
    message.front() = 0xF0;
    message.back() = 0xF7;
    ASSERT_TRUE(loopback::inject("Synth", message));
    ASSERT_TRUE(loopback::waitUntilIdle());
    ASSERT_EQ(recorder.data().size(), ++expectedCalls) << size;
    EXPECT_EQ(recorder.data().back(), message) << size;
  }
  EXPECT_THAT(log.contents(), HasSubstr("MM_MOM_OPEN\nMIM_LONGDATA\nMIM_LONGDATA\nMIM_LONGDATA\n"));
}

TEST_F(MidiPortTest, InputErrorsReachTheErrorCallbackWithTheirCodes) {
  loopback::addPort("Synth");
  auto port = openSynthPort();
  const std::string opened = log.contents();
  ASSERT_TRUE(loopback::injectError("Synth", MidiInputError::Short));
  ASSERT_TRUE(loopback::injectError("Synth", MidiInputError::Long));
  ASSERT_TRUE(loopback::waitUntilIdle());

  EXPECT_THAT(recorder.errors(), ElementsAre(0x3C5u, 0x3C6u));
  EXPECT_TRUE(recorder.portsMatched());
  EXPECT_EQ(log.contents().substr(opened.size()), "MM_MIM_ERROR\nMM_MIM_LONGERROR\n");
  EXPECT_THAT(recorder.data(), IsEmpty());
}

TEST_F(MidiPortTest, SentMessagesLoopBackToTheInputOfTheSameName) {
  loopback::addPort("Synth");
  auto port = openSynthPort();
  const Bytes message{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7};
  ASSERT_TRUE(port->SendSysEx(message.data(), message.size()));
  ASSERT_TRUE(recorder.waitForData(1, std::chrono::seconds(5)));
  EXPECT_THAT(recorder.data(), ElementsAre(message));
  EXPECT_TRUE(recorder.portsMatched());
}

TEST_F(MidiPortTest, CloseWaitsForARunningCallbackThatSends) {
  loopback::addPort("Synth");
  MidiPort port(makeLoopbackBackend());
  port.SetInputDeviceName("Synth");
  port.SetOutputDeviceName("Synth");
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  port.SetDataCallback([&](MidiPort& from, std::span<const std::uint8_t>) {
    started = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::uint8_t answer[] = {0xF0, 0x01, 0xF7};
    from.SendSysEx(answer, sizeof answer);  // must not deadlock against the waiting Close
    finished = true;
  });
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(loopback::inject("Synth", {0xF0, 0x02, 0xF7}));
  while (!started) std::this_thread::yield();

  port.Close();
  EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace banklore
