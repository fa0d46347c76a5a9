// The string table compiled from the resource script holds exactly the installer's texts.
#include <gtest/gtest.h>

#include "expected_texts.h"
#include "machine_fixture.h"
#include "texts.h"

using TextsTest = SimulatedMachine;

TEST_F(TextsTest, EveryEntryLoadsWithItsExactText) {
  for (const auto &[id, text] : expected::StringTable()) {
    SCOPED_TRACE("text " + std::to_string(id));
    EXPECT_EQ(LoadText(static_cast<TextId>(id)).View(), text);
  }
}

TEST_F(TextsTest, AMissingEntryLoadsEmpty) { EXPECT_TRUE(LoadText(static_cast<TextId>(65342)).Empty()); }

TEST_F(TextsTest, AnEntryLongerThanTheBufferIsCutAtIt) {
  sim::SetString(65333, std::string(5000, 'x'));
  EXPECT_EQ(LoadText(TextId::Consent).Length(), 1023u);
}
