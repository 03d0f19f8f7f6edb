// Test support: a test that starts from an empty configuration store and leaves the
// process's store as it found it.
#pragma once

#include "config/config_store.h"

#include <gtest/gtest.h>

class EmptyConfigStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = configStore();
        configStore().narrow.clear();
        configStore().wide.clear();
    }
    void TearDown() override { configStore() = saved_; }

private:
    ConfigStore saved_;
};
