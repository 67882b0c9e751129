// Runs the tool in-process on the virtual cameras, as a user would run it:
// arguments in, output, messages and exit status out.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tool.h"
#include "vcam/model/camera_set.h"

struct ToolRun {
  int nStatus = -1;
  std::string out;
  std::string err;
};

class ToolTest : public ::testing::Test {
 protected:
  // Every test starts with the built-in cameras at power-up; within a test
  // the cameras keep their settings from one run to the next, as real ones do.
  void SetUp() override { vcam::SetActiveCameraSet(vcam::BuiltInCameraSet()); }
  void TearDown() override { vcam::ResetActiveCameraSet(); }

 public:
  ToolRun Run(std::vector<std::string> args)
  {
      std::ostringstream out, err;
      iidctool::ToolContext context{out, err, false, m_onFrameSaved};
      ToolRun run;
      run.nStatus = iidctool::RunTool(args, context);
      run.out = out.str();
      run.err = err.str();
      return run;
  }

  std::function<void(int)> m_onFrameSaved;
};
