#include "dll_search.h"

#include <gtest/gtest.h>

#include "sim.h"

TEST(DllSearch, RestrictsTheSearchToTheSystemDirectoryWhereWindowsCan) {
  sim::Reset();
  RestrictDllSearchToSystemDirectory();
  EXPECT_EQ(sim::DefaultDllDirectories(), static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
  EXPECT_FALSE(sim::DllDirectory().has_value());
}

TEST(DllSearch, OlderWindowsLeavesOutTheCurrentDirectoryInstead) {
  sim::Reset();
  sim::OfferSetDefaultDllDirectories(false);
  RestrictDllSearchToSystemDirectory();
  EXPECT_EQ(sim::DefaultDllDirectories(), 0u);
  EXPECT_EQ(sim::DllDirectory(), std::optional<std::string>(""));
}
