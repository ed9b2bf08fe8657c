// End to end: every entry of the format list, with the settings it selects by
// default, converts a short generated clip (test pattern and tone) through
// the engine into a file that ffprobe reads, with a video stream unless the
// format is audio-only and an audio stream always.
#include <gtest/gtest.h>

#include <string>

#include "component/task_options.h"
#include "profiles/output_formats.h"
#include "profiles/profile_settings.h"
#include "profiles/profile_translation.h"
#include "test_support.h"

namespace fennick {
namespace {

class ProfileConversion : public ::testing::TestWithParam<std::string> {};

TEST_P(ProfileConversion, DefaultsConvertAGeneratedClip) {
  TProfileControls controls;
  FillOutputFormatList(controls.ComboOutputFormat);
  ASSERT_TRUE(ChooseOutputFormat(controls, GetParam()));
  TOutputOptions options;
  InitOutputOptions(options);
  ASSERT_NO_THROW(ApplyProfileToOptions(controls, options));

  // The engine runs the record through Reset, the input record and
  // AddInputFile, ApplyOutputOptions and AddOutputFile, then StartRun(false);
  // the output named after the clip with "." + lower-case FOutputFormatName
  // must then probe with the expected streams. The engine cannot convert yet.
  GTEST_SKIP() << "needs the conversion stage";
}

std::string EntryName(const ::testing::TestParamInfo<std::string>& info) {
  return "Row" + std::to_string(LookupOutputFormat(info.param)->ProfileId);
}

INSTANTIATE_TEST_SUITE_P(EveryOfferedRow, ProfileConversion, ::testing::ValuesIn(OfferedOutputFormats()), EntryName);

}  // namespace
}  // namespace fennick
