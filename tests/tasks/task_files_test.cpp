#include "tasks/task_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "params/parameter_file.h"
#include "run/session.h"
#include "tasks/task_files_test_support.h"

namespace membrix {
namespace {

namespace fs = std::filesystem;
using testing::Content;
using testing::FifoWriter;
using testing::MakeFifo;
using testing::Pattern;
using testing::TempFolder;

std::string Samples() { return std::string(MEMBRIX_SOURCE_DIR) + "/resources/samples"; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ReadInputOnce, AFifoGivesWhatTheFileGives) {
  TempFolder dir;
  const std::string text = Pattern(300000);  // several reads' worth
  const std::string file = dir.Write("input.id", text);
  const std::string fifo = MakeFifo(dir, "input.fifo");
  std::string fromFifo;
  {
    FifoWriter writer(fifo, text);
    fromFifo = ReadInputOnce(fifo);
  }
  EXPECT_EQ(ReadInputOnce(file), text);
  EXPECT_EQ(fromFifo, text);
}

TEST(ReadInputOnce, AStreamIsTakenUpToItsLimitAndRefusedBeyond) {
  const std::size_t limit = 70000;  // above one read's worth
  const struct {
    std::size_t size;
    bool accepted;
  } cases[] = {{0, true}, {limit - 1, true}, {limit, true}, {limit + 1, false}, {3 * limit, false}};
  for (const auto& c : cases) {
    TempFolder dir;
    const std::string fifo = MakeFifo(dir, "stream");
    const std::string text = Pattern(c.size);
    FifoWriter writer(fifo, text);
    try {
      EXPECT_EQ(ReadInputOnce(fifo, limit), text) << c.size << " bytes";
      EXPECT_TRUE(c.accepted) << c.size << " bytes were accepted";
    } catch (const IoError& e) {
      EXPECT_FALSE(c.accepted) << c.size << " bytes were refused: " << e.what();
      EXPECT_EQ(e.path(), fifo);
      EXPECT_TRUE(Contains(e.what(), "more than 70000 bytes")) << e.what();
    }
  }
}

TEST(ReadInputOnce, AnEndlessDeviceEndsWithTheLimitInTheMessage) {
  const auto start = std::chrono::steady_clock::now();
  try {
    ReadInputOnce("/dev/zero", 1u << 20);
    FAIL() << "/dev/zero was read as a whole";
  } catch (const IoError& e) {
    EXPECT_EQ(e.path(), "/dev/zero");
    EXPECT_TRUE(Contains(e.what(), "more than 1 MiB")) << e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(ReadInputOnce, ARegularFileIsReadWholeWhateverTheStreamLimit) {
  TempFolder dir;
  const std::string text = Pattern(5000);
  EXPECT_EQ(ReadInputOnce(dir.Write("big.d", text), 100), text);
}

TEST(ReadInputOnce, FoldersAndMissingFilesAreRefusedByName) {
  TempFolder dir;
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {{dir.path().string(), "is a folder"}, {dir / "missing.id", "No such file"}};
  for (const auto& c : cases) {
    try {
      ReadInputOnce(c.path);
      ADD_FAILURE() << c.path << " was read";
    } catch (const IoError& e) {
      EXPECT_EQ(e.path(), c.path);
      EXPECT_TRUE(Contains(e.what(), c.reason)) << e.what();
    }
  }
}

TEST(GuardOutputs, RefusesOutputsOntoInputsOrEachOtherAndIntoMissingFolders) {
  TempFolder dir;
  const std::string in = dir.Write("in.id", "end.\n");
  dir.Write("other.dat", "x\n");
  fs::create_symlink(in, dir / "link.id");
  fs::create_hard_link(in, dir / "hard.id");
  fs::create_directory(dir / "real");
  fs::create_directory_symlink(dir / "real", dir / "alias");
  const std::vector<TaskFile> inputs = {{"--id", in}, {"recording 2 of in.id", dir / "missing.d"}};
  const struct {
    const char* name;
    std::vector<TaskFile> outputs;
    std::vector<std::string> message;  // empty: accepted
  } cases[] = {
      {"the input itself", {{"--out", in}}, {in, "--out", "--id"}},
      {"through a symbolic link", {{"--out", dir / "link.id"}}, {"link.id", "--out", "--id"}},
      {"through a hard link", {{"--out", dir / "hard.id"}}, {"hard.id", "--out", "--id"}},
      {"spelt with ./", {{"--out", dir / "./in.id"}}, {"--out", "--id"}},
      {"spelt with ..", {{"--out", dir / "real/../in.id"}}, {"--out", "--id"}},
      {"another existing file", {{"--out", dir / "other.dat"}}, {}},
      {"a new file", {{"--out", dir / "new.dat"}}, {}},
      {"an input that does not exist", {{"--out", dir / "missing.d"}}, {}},
      {"an empty name", {{"--out", ""}}, {"--out", "empty"}},
      {"a missing folder", {{"--out", dir / "nowhere/x.dat"}},
       {"the folder \"" + (dir / "nowhere") + "\" of --out does not exist"}},
      {"a file as its folder", {{"--out", dir / "other.dat/x.dat"}}, {"other.dat", "--out", "not a folder"}},
      {"a folder", {{"--out", dir / "real"}}, {"--out", "folder"}},
      {"two outputs, one new file", {{"--out", dir / "a.dat"}, {"--log", dir / "./a.dat"}}, {"--out", "--log", "a.dat"}},
      {"two outputs, one existing file", {{"--out", dir / "other.dat"}, {"--log", dir / "other.dat"}},
       {"--out", "--log", "other.dat"}},
      {"two new outputs through a linked folder", {{"--out", dir / "real/a.dat"}, {"--log", dir / "alias/a.dat"}},
       {"--out", "--log"}},
      {"two different outputs", {{"--out", dir / "a.dat"}, {"--log", dir / "b.dat"}}, {}},
      {"a device twice", {{"--out", "/dev/null"}, {"--log", "/dev/null"}}, {}},
  };
  for (const auto& c : cases) {
    try {
      GuardOutputs(inputs, c.outputs);
      EXPECT_TRUE(c.message.empty()) << c.name << ": accepted";
    } catch (const Error& e) {
      EXPECT_FALSE(c.message.empty()) << c.name << ": refused: " << e.what();
      for (const std::string& part : c.message) EXPECT_TRUE(Contains(e.what(), part)) << c.name << ": " << e.what();
    }
  }
  EXPECT_EQ(Content(in), "end.\n");
}

TEST(PartFile, AnExistingFileStaysUntilTheResultIsCommitted) {
  TempFolder dir;
  const std::string path = dir.Write("result.dat", "earlier\n");
  {
    PartFile part(path);
    EXPECT_EQ(part.FinalPath(), path);
    EXPECT_EQ(part.PartPath(), path + ".part");
    std::ofstream(part.PartPath()) << "new\n";
    EXPECT_EQ(Content(path), "earlier\n");
    part.Commit();
  }
  EXPECT_EQ(Content(path), "new\n");
  EXPECT_FALSE(fs::exists(path + ".part"));
}

TEST(PartFile, AResultNotCommittedStaysAPartFile) {
  TempFolder dir;
  const std::string path = dir.Write("result.dat", "earlier\n");
  {
    PartFile part(path);
    std::ofstream(part.PartPath()) << "half";
  }  // a stop or an exception: no Commit
  EXPECT_EQ(Content(path), "earlier\n");
  EXPECT_EQ(Content(path + ".part"), "half");
}

TEST(PartFile, CommitWithoutAPartFileIsAnError) {
  TempFolder dir;
  PartFile part(dir / "never_written.dat");
  EXPECT_THROW(part.Commit(), IoError);
  EXPECT_FALSE(fs::exists(dir / "never_written.dat"));
}

TEST(PartFile, ADeviceIsWrittenDirectlyAndNeverReplaced) {
  PartFile part("/dev/null");
  EXPECT_EQ(part.PartPath(), "/dev/null");
  std::ofstream(part.PartPath()) << "discarded";
  part.Commit();
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(Sha256, KnownDigestsOfBytesAndFiles) {
  TempFolder dir;
  const std::string big = Pattern(200000);
  const struct {
    std::string bytes;
    const char* hex;  // nullptr: only the file's digest is compared with the bytes'
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {big, nullptr},
  };
  for (const auto& c : cases) {
    const std::string hex = Sha256Hex(c.bytes);
    if (c.hex != nullptr) {
      EXPECT_EQ(hex, c.hex) << c.bytes;
    }
    EXPECT_EQ(Sha256OfFile(dir.Write("f.dat", c.bytes)), hex) << c.bytes.size() << " bytes";
  }
}

TEST(Sha256, FilesThatCannotBeHashedAreRefused) {
  TempFolder dir;
  const std::string fifo = MakeFifo(dir, "pipe");  // no writer: opening it would wait
  for (const std::string& path : {dir / "missing.d", dir.path().string(), fifo, std::string("/dev/zero")}) {
    try {
      Sha256OfFile(path);
      ADD_FAILURE() << path << " was hashed";
    } catch (const IoError& e) {
      EXPECT_EQ(e.path(), path);
    }
  }
}

TEST(ParameterFileInputs, ListsTheParameterFileAndTheRecordingsItNames) {
  Session s;
  const std::string id = Samples() + "/Hodgkin_AP.id";
  LoadParameterFile(s, id);
  const std::vector<TaskFile> files = ParameterFileInputs(s);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].role, "--id");
  EXPECT_EQ(files[0].path, id);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(files[k].role, "recording " + std::to_string(k) + " of Hodgkin_AP.id");
    EXPECT_TRUE(fs::equivalent(files[k].path, Samples() + "/Hodgkin_AP_" + std::to_string(k) + ".d"))
        << files[k].path;
  }
  EXPECT_EQ(s.rec.Smpl, 1);  // listed on a copy
  EXPECT_TRUE(s.rec.SmplFile[2].empty());

  // An output onto a recording is refused with the recording's role.
  try {
    GuardOutputs(files, {{"--out", Samples() + "/Hodgkin_AP_2.d"}});
    FAIL() << "an output onto recording 2 was accepted";
  } catch (const IoError& e) {
    EXPECT_TRUE(Contains(e.what(), "recording 2 of Hodgkin_AP.id")) << e.what();
  }
}

TEST(ParameterFileInputs, WithoutAParameterFileOnlyTheChosenRecording) {
  Session s;
  EXPECT_TRUE(ParameterFileInputs(s).empty());
  s.rec.Smpl = 0;
  s.rec.SmplFile[0] = "/data/cell.d";
  const std::vector<TaskFile> files = ParameterFileInputs(s);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].role, "recording 0");
  EXPECT_EQ(files[0].path, "/data/cell.d");
}

}  // namespace
}  // namespace membrix
