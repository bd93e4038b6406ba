// A handler activated against the fake host, and instances made through the slots it filled.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "common/lag_instance.h"
#include "fake_host.h"
#include "module/activation.h"

namespace fixture {

inline const LWItemID object = fake::item(0x100);
inline const LWItemID pivot = fake::item(0x200);
inline const LWItemID camera = fake::item(0x300);

class ModuleTest : public ::testing::Test {
 protected:
  fake::Host& host = fake::host();
  LWInstanceFuncs inst{};
  LWItemFuncs item{};
  LWRenderFuncs rend{};
  LWDisplacementHandler handler{&inst, &item, &rend, nullptr, nullptr};

  void SetUp() override {
    host.reset();
    ASSERT_EQ(tarrow::activateHandler(LWDISPLACEMENT_VERSION, fake::global, &handler, nullptr), AFUNC_OK);
    host.reset();  // from here on, only what the test causes is recorded
  }

  void TearDown() override {
    for (LWInstance made : made_) {
      inst.destroy(made);
    }
  }

  // An instance of the given object, destroyed when the test ends.
  tarrow::LagInstance& make(LWItemID objectId = object) {
    LWError error = nullptr;
    LWInstance made = inst.create(nullptr, objectId, &error);
    EXPECT_NE(made, nullptr);
    EXPECT_EQ(error, nullptr);
    made_.push_back(made);
    return *static_cast<tarrow::LagInstance*>(made);
  }

 private:
  std::vector<LWInstance> made_;
};

}  // namespace fixture
