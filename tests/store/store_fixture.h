// A fresh database root folder per test, with a data module over it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "store/data_module.h"
#include "support/scripted_dialogs.h"
#include "util/context.h"
#include "util/temp_folder.h"

namespace vellumark::testing {

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.db_root_folder = root_;
    context_.program_folder = root_;
  }
  void TearDown() override { dm_.reset(); }

  TdmKiv& Module() {
    if (!dm_) dm_ = std::make_unique<TdmKiv>(context_, dialogs_, [this] { ++captions_; });
    return *dm_;
  }

  // Adds a location record and its folder, and opens it. Returns its Task_No.
  int AddLocation(const std::string& url = "http://example.com/") {
    TdmKiv& dm = Module();
    dm.tbTasks.Insert();
    dm.tbTasks.FieldByName("Task_URL").SetString(url);
    dm.tbTasks.Post();
    int no = dm.CurrentTaskNo();
    EXPECT_TRUE(dm.CreateLocationTables(dm.LocationFolder(no)));
    EXPECT_TRUE(dm.OpenLocation(dm.LocationFolder(no)));
    return no;
  }

  TempFolder folder_{"vm_store_"};
  const std::string root_ = folder_.path();
  ProgramContext context_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<TdmKiv> dm_;
  int captions_ = 0;
};

}  // namespace vellumark::testing
