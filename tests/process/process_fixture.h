// A fresh log, short pauses and no process table left behind, for the process
// helper's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "TamberLauncher.h"
#include "child_program.h"
#include "process/process_helper.h"
#include "process/process_table.h"
#include "test_support.h"

class ProcessHelperTest : public ::testing::Test {
protected:
    ~ProcessHelperTest() override {
        if (CurrentProcessTable()) VantorProcessHelper_Remove();
    }
    // What was logged after the log's opening line.
    std::string Logged() const {
        return log_.Text().substr(TamberTest::OnDisk("INFO: vantor [test] initializing...\n").size());
    }
    static uint32_t RecordedId(int32_t processType) {
        uint32_t id = 0;
        GetProcessIdForProcessType(processType, &id);
        return id;
    }
    static int32_t Running(int32_t processType) {
        int32_t running = -1;
        EXPECT_EQ(1, VantorProcessHelper_IsProcessRunning(processType, &running));
        return running;
    }

    TamberTest::LogSession log_;
    TamberTest::FastTime time_;
};
