// The Internet-zone stage: both policies read, the question when either is not acceptable, and
// both set to allow on Yes. The registry may hold anything.
#include "zone_settings.h"

#include <gtest/gtest.h>

#include "machine_fixture.h"

namespace {

using namespace machine;
using Policy = std::optional<sim::Value>;  // nullopt: the value is missing

sim::Value Raw(DWORD type, sim::Bytes data) { return {type, std::move(data)}; }

const Policy kMissing = std::nullopt;
const Policy kAllow = Dword(0);
const Policy kAsk = Dword(1);
const Policy kDisable = Dword(3);

struct ZoneCase {
  const char *name;
  bool keyExists;
  Policy run, script;   // "1200", "1405" before the stage
  int answer;           // to the question, when it comes
  const char *failingWrite;
  bool asks;
  bool readsScripting;  // "1405" is read only when "1200" is acceptable
  Policy runAfter, scriptAfter;
};

const std::vector<ZoneCase> kCases = {
    {"BothAllow", true, kAllow, kAllow, 0, nullptr, false, true, kAllow, kAllow},
    {"BothAsk", true, kAsk, kAsk, 0, nullptr, false, true, kAsk, kAsk},
    {"OneOfEach", true, kAsk, kAllow, 0, nullptr, false, true, kAsk, kAllow},
    {"RunDisabledScriptingNeverRead", true, kDisable, kAllow, IDNO, nullptr, true, false, kDisable, kAllow},
    {"KeyMissingYesCreatesIt", false, kMissing, kMissing, IDYES, nullptr, true, false, kAllow, kAllow},
    {"ScriptingDisabledYesSetsBoth", true, kAsk, kDisable, IDYES, nullptr, true, true, kAllow, kAllow},
    {"NoWritesNothing", true, kDisable, kDisable, IDNO, nullptr, true, false, kDisable, kDisable},
    {"RunValueMissing", true, kMissing, kAllow, IDNO, nullptr, true, false, kMissing, kAllow},
    {"DwordWithEightBytes", true, Raw(REG_DWORD, sim::Bytes(8, 0)), kAllow, IDNO, nullptr, true, false,
     Raw(REG_DWORD, sim::Bytes(8, 0)), kAllow},
    {"DwordWithTwoBytes", true, Raw(REG_DWORD, sim::Bytes(2, 0)), kAllow, IDNO, nullptr, true, false,
     Raw(REG_DWORD, sim::Bytes(2, 0)), kAllow},
    {"BinaryOfFourBytes", true, Raw(REG_BINARY, sim::Bytes(4, 0)), kAllow, IDNO, nullptr, true, false,
     Raw(REG_BINARY, sim::Bytes(4, 0)), kAllow},
    {"Qword", true, Raw(REG_QWORD, sim::Bytes(8, 0)), kAllow, IDNO, nullptr, true, false,
     Raw(REG_QWORD, sim::Bytes(8, 0)), kAllow},
    {"TextZero", true, Raw(REG_SZ, {'0', 0}), kAllow, IDNO, nullptr, true, false, Raw(REG_SZ, {'0', 0}), kAllow},
    {"NoneType", true, Raw(REG_NONE, sim::Bytes(4, 0)), kAllow, IDNO, nullptr, true, false,
     Raw(REG_NONE, sim::Bytes(4, 0)), kAllow},
    {"EmptyDword", true, Raw(REG_DWORD, {}), kAllow, IDNO, nullptr, true, false, Raw(REG_DWORD, {}), kAllow},
    {"ScriptingAsText", true, kAllow, Raw(REG_SZ, {'1', 0}), IDYES, nullptr, true, true, kAllow, kAllow},
    {"WriteOfRunFailsScriptingUntouched", true, kDisable, kDisable, IDYES, "1200", true, false, kDisable,
     kDisable},
    {"WriteOfScriptingFails", true, kDisable, kDisable, IDYES, "1405", true, false, kAllow, kDisable},
};

void Put(const char *name, const Policy &policy) {
  if (policy) sim::PutValue(HKEY_CURRENT_USER, kZoneKey, name, policy->type, policy->data);
}

class ZoneSettings : public SimulatedMachine, public ::testing::WithParamInterface<ZoneCase> {
 protected:
  void SetUp() override {
    SimulatedMachine::SetUp();
    sim::Reset();
    sim::LoadResourceFile(QUILLMARSH_TEXTS_RES);
  }
};

std::string Describe(const Policy &policy) {
  if (!policy) return "missing";
  std::string text = "type " + std::to_string(policy->type) + " bytes";
  for (std::uint8_t byte : policy->data) text += " " + std::to_string(byte);
  return text;
}

TEST_P(ZoneSettings, AsksWhenEitherPolicyIsNotAcceptableAndSetsBothOnYes) {
  const ZoneCase &test = GetParam();
  if (test.keyExists) sim::PutKey(HKEY_CURRENT_USER, kZoneKey);
  Put("1200", test.run);
  Put("1405", test.script);
  if (test.failingWrite) sim::FailSetValue(test.failingWrite);
  sim::AnswerDialogs({test.answer});

  RunZoneSettingsStage();

  EXPECT_EQ(ShownDialogs(), test.asks ? std::vector<expected::Dialog>{expected::kZoneSettingsDialog}
                                      : std::vector<expected::Dialog>{});
  const std::vector<std::string> &read = sim::QueriedValues();
  EXPECT_EQ(std::count(read.begin(), read.end(), "1405"), test.readsScripting ? 1 : 0);
  EXPECT_EQ(Describe(sim::GetValue(HKEY_CURRENT_USER, kZoneKey, "1200")), Describe(test.runAfter));
  EXPECT_EQ(Describe(sim::GetValue(HKEY_CURRENT_USER, kZoneKey, "1405")), Describe(test.scriptAfter));
  for (const sim::KeyOpen &open : sim::KeyOpens()) {
    if (!open.created) EXPECT_EQ(open.access, static_cast<REGSAM>(KEY_READ)) << "reads ask for KEY_READ";
  }
}

INSTANTIATE_TEST_SUITE_P(Policies, ZoneSettings, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ZoneSettingsWrite, AnswersWhetherBothValuesWereWritten) {
  sim::Reset();
  EXPECT_TRUE(EnableActiveXZoneSettings());
  sim::FailSetValue("1405");
  EXPECT_FALSE(EnableActiveXZoneSettings());
  EXPECT_EQ(sim::OpenHandleCount(), 0u);
}

}  // namespace
