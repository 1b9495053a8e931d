#include "params/settings_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/error.h"

namespace membrix {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::vector<double> Ramp() {
  std::vector<double> v(kSettingsLineCount, 0.0);
  for (int i = 0; i < kSettingsLineCount; ++i) v[i] = i % 2 == 0 ? -1.0 : 1.0;
  return v;
}

TEST(SettingsFile, LinesFormatsAndLabelsInFileOrder) {
  std::vector<double> values(kSettingsLineCount, 0.0);
  values[1] = -65.0;   // line 2, a real
  values[65] = -1.0;   // line 66, a list with nothing chosen
  values[87] = 1.0;    // line 88, a menu mark
  values[204] = 250;   // line 205, an integer
  values[224] = 1234;  // line 225, a position wider than its field
  const std::vector<std::string> l = Lines(FormatSettings(values));
  ASSERT_EQ(l.size(), 234u);
  struct Case {
    int line;
    const char* text;
  } cases[] = {
      {1, "Form4"},
      {2, " -65.0000 :DDSpinEdit1"},
      {65, "   0.0000 :DDSpinEdit64"},
      {66, " -1 ComboBox1"},
      {72, "  0 CheckBox3"},
      {74, "void"},
      {84, "  0 CheckBox3"},
      {85, "Form1"},
      {88, "  1                       Smpl1: TMenuItem"},
      {97, "  0                       Smpl0: TMenuItem"},
      {108, "  0                     HHtype2: TMenuItem"},
      {126, "  0                          N7: TMenuItem"},
      {127, "Empty"},
      {129, "  0  :Form1.Bazhenov1: TMenuItem"},
      {131, "  0 Form4.RadioGroup1"},
      {133, "  0 Form3.Visible"},
      {134, "Form20"},
      {154, "   0.0000 :Form20.DDSpinEdit20"},
      {167, "  0 Form31.Visible"},
      {174, "  0 ComboBox1"},
      {176, "  0 :Form5.CheckBox2"},
      {191, "  0 Form20.ComboBox3"},
      {205, "250 :Form4.SpinEdit1"},
      {216, "   0.0000 :Form1.DDSpinEdit23"},
      {217, "  0 :Form1.Writing1: TMenuItem"},
      {222, "  0 :Form21.RadioGroup1"},
      {225, "1234 Form1.Left"},
      {229, "  0 Form21.Left"},
      {230, "  0 Form21.Top"},
      {231, "  0 :Form1.PageControl1.TabIndex"},
      {234, "   0.0000 :Form4.DDSpinEdit79"},
  };
  for (const Case& c : cases) EXPECT_EQ(l[c.line - 1], c.text) << "line " << c.line;
  // The position lines 229-230 belong to the ion-dynamics window whatever their labels say.
  EXPECT_EQ(SettingsLines()[228].window, "Form19");
  EXPECT_EQ(SettingsLines()[228].target, SettingTarget::Left);
}

TEST(SettingsFile, WhatIsWrittenReadsBack) {
  std::vector<double> values = Ramp();
  values[1] = 0.5;
  values[2] = 12345.6789;
  values[3] = -1e300;  // far wider than its field
  const SettingsValues read = ParseSettings(FormatSettings(values), "s.txt");
  EXPECT_EQ(read.lines, 234);
  for (int i = 0; i < kSettingsLineCount; ++i) {
    if (SettingsLines()[i].kind == SettingKind::Header) continue;
    EXPECT_NEAR(read.values[i], values[i], 1e-12 * std::abs(values[i])) << "line " << i + 1;
  }
}

TEST(SettingsFile, AFileMayEndAfterItsRequiredPart) {
  const std::vector<std::string> all = Lines(FormatSettings(Ramp()));
  for (const char* end : {"\n", "\r\n", "\r"}) {
    for (int kept : {84, 191}) {
      std::string text;
      for (int i = 0; i < kept; ++i) text += all[i] + end;
      EXPECT_EQ(ParseSettings(text, "s.txt").lines, kept);
    }
  }
  // Lines after the last one are not read.
  {
    std::string text;
    for (const std::string& l : all) text += l + "\n";
    EXPECT_EQ(ParseSettings(text + "anything\n", "s.txt").lines, 234);
  }
}

TEST(SettingsFile, BadFilesNameFileAndLine) {
  const std::vector<std::string> all = Lines(FormatSettings(Ramp()));
  auto join = [&](int count, int badLine, const std::string& bad) {
    std::string text;
    for (int i = 0; i < count; ++i) text += (i + 1 == badLine ? bad : all[i]) + "\n";
    return text;
  };
  struct Case {
    std::string text;
    int line;
  } cases[] = {
      {"", 0},                                  // empty
      {join(40, 0, ""), 40},                    // ends inside the required part
      {join(83, 0, ""), 83},                    // one line short
      {join(234, 2, "abc :DDSpinEdit1"), 2},    // not a number
      {join(234, 2, "nan :DDSpinEdit1"), 2},    // not finite
      {join(234, 66, "1.5 ComboBox1"), 66},     // a real where an integer belongs
      {join(234, 150, "12x :Form20"), 150},     // trailing garbage in the guarded part
      {join(234, 225, "99999999999 L"), 225},   // beyond any integer
  };
  for (const Case& c : cases) {
    try {
      ParseSettings(c.text, "set.txt");
      ADD_FAILURE() << "accepted a file bad at line " << c.line;
    } catch (const FormatError& e) {
      EXPECT_EQ(e.file(), "set.txt");
      EXPECT_EQ(e.line(), c.line) << e.what();
    }
  }
}

// The file of these lines with line index + 1 replaced by bad is refused,
// by that line.
void ExpectRefusedAt(const std::vector<std::string>& lines, std::size_t index, const std::string& bad) {
  std::string edited;
  for (std::size_t i = 0; i < lines.size(); ++i) edited += (i == index ? bad : lines[i]) + "\n";
  try {
    ParseSettings(edited, "set.txt");
    ADD_FAILURE() << "accepted line " << index + 1 << ": " << bad;
  } catch (const FormatError& e) {
    EXPECT_EQ(e.line(), static_cast<int>(index) + 1) << bad;
  }
}

// The imported channels follow the positional lines in a section of their
// own: what is written reads back exactly, paths with blanks and colons
// included, and a bad channel line is reported by its line.
TEST(SettingsFile, ImportedChannelsFollowTheLinesAndReadBack) {
  const std::vector<SettingsChannel> channels = {
      {"/data/my channels/squid:axon.nml", "k_squid", 36.000000000000007, -72.3, 0},
      {"km.nml", "km", 1e-7, -90.0, 0},
  };
  const std::string text = FormatSettings(Ramp(), channels);
  const SettingsValues read = ParseSettings(text, "s.txt");
  EXPECT_EQ(read.lines, 234);
  ASSERT_EQ(read.channels.size(), 2u);
  for (std::size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(read.channels[k].file, channels[k].file);
    EXPECT_EQ(read.channels[k].id, channels[k].id);
    EXPECT_EQ(read.channels[k].g, channels[k].g);
    EXPECT_EQ(read.channels[k].EmV, channels[k].EmV);
    EXPECT_EQ(read.channels[k].line, 236 + static_cast<int>(k));
  }
  // Without channels the file is the positional lines alone, as it always was.
  EXPECT_EQ(Lines(FormatSettings(Ramp(), {})).size(), 234u);
  EXPECT_TRUE(ParseSettings(FormatSettings(Ramp()), "s.txt").channels.empty());

  const std::vector<std::string> all = Lines(text);
  for (const char* bad : {"36 k.nml#k", "-1 0 k.nml#k", "1 2 k.nml", "1 2 #k", "1 x k.nml#k"}) {
    ExpectRefusedAt(all, 235, bad);
  }
}

// The run's integrator follows in a section of its own when it is not the
// default; it reads back exactly, beside the channels in either order, and a
// bad line is reported by its line.
TEST(SettingsFile, TheIntegratorFollowsInASectionOfItsOwn) {
  const IntegratorSettings cvode{IntegratorKind::Cvode, 1e-8, 2.5e-7};
  EXPECT_EQ(Lines(FormatSettings(Ramp(), {}, IntegratorSettings{})).size(), 234u);
  EXPECT_EQ(ParseSettings(FormatSettings(Ramp()), "s.txt").integration.kind, IntegratorKind::FixedStep);

  const std::vector<SettingsChannel> channels = {{"km.nml", "km", 1.0, -90.0, 0}};
  const std::string text = FormatSettings(Ramp(), channels, cvode);
  const std::vector<std::string> all = Lines(text);
  ASSERT_EQ(all.size(), 238u);
  EXPECT_EQ(all[237], "cvode 1e-08 2.5e-07");
  // The sections in the other order, a blank line between them.
  std::string swapped;
  for (std::size_t i = 0; i < 234; ++i) swapped += all[i] + "\n";
  swapped += all[236] + "\n" + all[237] + "\n\n" + all[234] + "\n" + all[235] + "\n";
  for (const std::string& t : {text, swapped}) {
    const SettingsValues read = ParseSettings(t, "s.txt");
    EXPECT_EQ(read.integration.kind, IntegratorKind::Cvode);
    EXPECT_EQ(read.integration.rtol, 1e-8);
    EXPECT_EQ(read.integration.atol, 2.5e-7);
    ASSERT_EQ(read.channels.size(), 1u);
    EXPECT_EQ(read.channels[0].id, "km");
  }
  // The fixed step at other tolerances keeps them.
  EXPECT_EQ(ParseSettings(FormatSettings(Ramp(), {}, {IntegratorKind::FixedStep, 1e-4, 1e-6}), "s.txt").integration.rtol,
            1e-4);

  for (const char* bad : {"euler 1e-6 1e-6", "cvode 1e-6", "cvode 0 1e-6", "cvode 1e-6 -1", "cvode 1e-6 1e-6 2",
                          "cvode 2 1e-6"}) {
    ExpectRefusedAt(all, 237, bad);
  }
  try {
    ParseSettings(text + "fixed 1e-6 1e-6\n", "set.txt");
    ADD_FAILURE() << "accepted a second integrator line";
  } catch (const FormatError& e) {
    EXPECT_EQ(e.line(), 239);
  }
}

TEST(SettingsFile, WritingReplacesTheFileWhole) {
  const auto dir = std::filesystem::temp_directory_path() / "membrix_settings_file_test";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / kSettingsFileName).string();
  WriteSettingsFile(path, Ramp());
  EXPECT_EQ(ReadSettingsFile(path).lines, 234);
  EXPECT_FALSE(std::filesystem::exists(path + ".part"));
  EXPECT_THROW(WriteSettingsFile((dir / "no" / "such" / "x.txt").string(), Ramp()), IoError);
  EXPECT_THROW(ReadSettingsFile((dir / "missing.txt").string()), IoError);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace membrix
