// Virtual cameras shared between processes: what one writes the next reads
// until INITIALIZE; a changed profile or a damaged store file is another
// camera; the register lock and the stream die with the process that held
// them; concurrent writers lose nothing. Two models opened in one process
// hold the store as two processes do (each its own mapping and open file);
// forked children stand for processes that die.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <chrono>

#include <gtest/gtest.h>

#include "vcam/model/camera_model.h"
#include "vcam/model/offsets.h"

namespace vcam::test {
namespace {

constexpr std::uint32_t GAIN = FEATURE_CONTROL_BASE + FEATURE_GAIN;
constexpr std::uint32_t TRIGGER = FEATURE_CONTROL_BASE + FEATURE_TRIGGER;

// Every test gets a runtime folder of its own.
class SharedStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char szTemplate[] = "/tmp/iidc-shared-test-XXXXXX";
    ASSERT_NE(mkdtemp(szTemplate), nullptr);
    m_root = szTemplate;
    setenv("XDG_RUNTIME_DIR", m_root.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(m_root); }

  static std::unique_ptr<CCameraModel> Open(Profile profile = BuiltInCameraSet()[0]) {
    auto pCamera = std::make_unique<CCameraModel>(std::move(profile), true);
    EXPECT_TRUE(pCamera->IsShared()) << pCamera->StoreError();
    return pCamera;
  }
  static std::uint32_t Read(CCameraModel& camera, std::uint32_t dwOffset) {
    std::uint32_t v = 0xDEADBEEF;
    EXPECT_EQ(camera.ReadQuadlet(dwOffset, &v), VCAM_S_OK);
    return v;
  }
  std::filesystem::path Folder() const { return m_root / "iidc-vcam"; }

  // A child that runs body, tells the parent through a pipe, and then waits
  // to be killed; its process id.
  static pid_t Child(const std::function<void()>& body) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      body();
      const char c = 1;
      if (write(fds[1], &c, 1) != 1) _exit(1);
      for (;;) pause();
    }
    close(fds[1]);
    char c = 0;
    EXPECT_EQ(read(fds[0], &c, 1), 1);
    close(fds[0]);
    return pid;
  }
  static void Kill(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }

  std::filesystem::path m_root;
};

TEST_F(SharedStateTest, SettingsLastUntilInitialize) {
  const std::uint32_t dwPowerUp = Read(*Open(), GAIN);
  {
    auto pA = Open(), pB = Open();
    ASSERT_EQ(pA->WriteQuadlet(GAIN, (dwPowerUp & ~VALUE_LO_MASK) | 200), VCAM_S_OK);
    EXPECT_EQ(Read(*pB, GAIN) & VALUE_LO_MASK, 200u);
  }
  auto pLater = Open();  // the camera kept its settings without any process
  EXPECT_EQ(Read(*pLater, GAIN) & VALUE_LO_MASK, 200u);
  EXPECT_EQ(Read(*std::make_unique<CCameraModel>(BuiltInCameraSet()[0]), GAIN), dwPowerUp) << "a private camera is fresh";
  ASSERT_EQ(Open()->WriteQuadlet(INITIALIZE, Bit(0)), VCAM_S_OK);
  EXPECT_EQ(Read(*pLater, GAIN), dwPowerUp);
}

// Whatever became of the file, the next process finds a working camera at
// power-up; a profile with other registers is another camera's file.
TEST_F(SharedStateTest, StoresThatDoNotFitAreMadeAnew) {
  struct Case {
    const char* pszName;
    std::function<void(const std::filesystem::path&)> damage;
  };
  const auto poke = [](std::streamoff at) {
    return [at](const std::filesystem::path& file) {
      std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(at);
      f.put('\x7F');
    };
  };
  const Case cases[] = {
      {"truncated", [](const std::filesystem::path& file) { std::filesystem::resize_file(file, 10); }},
      {"grown", [](const std::filesystem::path& file) { std::filesystem::resize_file(file, 1 << 16); }},
      {"another layout version", poke(4)},
      {"another key", poke(8)},
      {"torn while made", [](const std::filesystem::path& file) {
         std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
         f.seekp(28);
         f.write("\0\0\0\0", 4);
       }},
  };
  const std::uint32_t dwPowerUp = Read(*Open(), GAIN);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    ASSERT_EQ(Open()->WriteQuadlet(GAIN, (dwPowerUp & ~VALUE_LO_MASK) | 300), VCAM_S_OK);
    c.damage(std::filesystem::directory_iterator(Folder())->path());
    auto pCamera = Open();
    EXPECT_EQ(Read(*pCamera, GAIN), dwPowerUp);
    ASSERT_EQ(pCamera->WriteQuadlet(GAIN, (dwPowerUp & ~VALUE_LO_MASK) | 301), VCAM_S_OK);
    EXPECT_EQ(Read(*Open(), GAIN) & VALUE_LO_MASK, 301u);
  }
  Profile other = BuiltInCameraSet()[0];
  other.features.at(0).nMax -= 1;
  EXPECT_EQ(Read(*Open(other), GAIN), dwPowerUp) << "a changed profile is another camera";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder()), {}), 2);
}

TEST_F(SharedStateTest, RefusesAFolderOthersCanReach) {
  Open();
  std::filesystem::permissions(Folder(), std::filesystem::perms::others_read, std::filesystem::perm_options::add);
  CCameraModel camera(BuiltInCameraSet()[0], true);
  EXPECT_FALSE(camera.IsShared());
  EXPECT_NE(camera.StoreError().find("iidc-vcam"), std::string::npos) << camera.StoreError();
  EXPECT_EQ(Read(camera, GAIN), Read(*std::make_unique<CCameraModel>(BuiltInCameraSet()[0]), GAIN));

  setenv(STATE_ENVIRONMENT_VARIABLE, "private", 1);
  EXPECT_FALSE(CRegisterStore::SharingWanted());
  setenv(STATE_ENVIRONMENT_VARIABLE, "shared", 1);
  EXPECT_TRUE(CRegisterStore::SharingWanted());
}

TEST_F(SharedStateTest, LockAndStreamDieWithTheirProcess) {
  auto pCamera = Open();
  ASSERT_EQ(pCamera->WriteQuadlet(GAIN, Read(*pCamera, GAIN) | 123), VCAM_S_OK);
  const std::uint32_t dwGain = Read(*pCamera, GAIN);
  // The child takes the camera's store as the model does, and dies holding
  // both its lock and its stream.
  const Profile profile = BuiltInCameraSet()[0];
  const pid_t pid = Child([&] {
    std::string strError;
    auto pStore = CRegisterStore::OpenShared(BuildRegisterImage(profile), pCamera->Rom(), profile.ullUniqueId, &strError);
    if (!pStore || !pStore->ClaimStream()) _exit(1);
    pStore->lock();
    pStore.release();
  });
  EXPECT_FALSE(pCamera->ClaimStream()) << "the child streams";
  Kill(pid);
  EXPECT_EQ(Read(*pCamera, GAIN), dwGain) << "the dead child's register lock is taken over";
  EXPECT_TRUE(pCamera->ClaimStream());
  EXPECT_TRUE(pCamera->ClaimStream()) << "claims of one process nest";
  pCamera->ReleaseStream();
  EXPECT_FALSE(Open()->ClaimStream());
  pCamera->ReleaseStream();
  EXPECT_TRUE(Open()->ClaimStream());
}

// Trigger releases are counted by the camera, each write of one adds one:
// a write that comes while another process's transaction is under way waits
// for it.
TEST_F(SharedStateTest, ConcurrentWritersLoseNoWrite) {
  auto pCamera = Open();
  ASSERT_EQ(pCamera->WriteQuadlet(TRIGGER, Read(*pCamera, TRIGGER) | CTL_ON_OFF), VCAM_S_OK);
  const pid_t pid = Child([&] {
    std::string strError;
    auto pStore = CRegisterStore::OpenShared(BuildRegisterImage(BuiltInCameraSet()[0]), pCamera->Rom(),
                                             BuiltInCameraSet()[0].ullUniqueId, &strError);
    if (!pStore) _exit(1);
    std::promise<void> locked;
    std::thread([&locked, pStore = std::move(pStore)] {  // a slow release, after the parent has written
      pStore->lock();
      const std::uint32_t n = pStore->Counters().nReleases;
      locked.set_value();
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      pStore->Counters().nReleases = n + 1;
      pStore->unlock();
    }).detach();
    locked.get_future().wait();
  });
  EXPECT_EQ(pCamera->WriteQuadlet(SOFTWARE_TRIGGER, Bit(0)), VCAM_S_OK);
  Kill(pid);
  EXPECT_TRUE(pCamera->TakeTriggerRelease());
  EXPECT_TRUE(pCamera->TakeTriggerRelease());
  EXPECT_FALSE(pCamera->TakeTriggerRelease());
}

}  // namespace
}  // namespace vcam::test
