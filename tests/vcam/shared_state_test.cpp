// Camera stores shared between processes (programs sharing them: tests/tool,
// python/tests): damaged or foreign files, a lock and a stream dying with
// their process, a write waiting for another process's transaction.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "vcam/model/camera_model.h"
#include "vcam/model/offsets.h"

namespace vcam::test {
namespace {

constexpr std::uint32_t GAIN = FEATURE_CONTROL_BASE + FEATURE_GAIN;

class SharedStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char szTemplate[] = "/tmp/iidc-shared-test-XXXXXX";
    ASSERT_NE(mkdtemp(szTemplate), nullptr);
    m_root = szTemplate;
    setenv("XDG_RUNTIME_DIR", szTemplate, 1);
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
  static std::uint32_t PowerUpGain() { return Read(*std::make_unique<CCameraModel>(BuiltInCameraSet()[0]), GAIN); }
  static void SetGain(CCameraModel& camera, std::uint32_t n) {
    ASSERT_EQ(camera.WriteQuadlet(GAIN, (PowerUpGain() & ~VALUE_LO_MASK) | n), VCAM_S_OK);
  }
  std::filesystem::path Folder() const { return m_root / "iidc-vcam"; }

  // A child process that opens camera 0's store as the model does and runs
  // body, which tells the parent when to go on; then it waits to be killed.
  static pid_t Child(const std::function<void(CRegisterStore&, const std::function<void()>& tell)>& body) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
      const Profile p = BuiltInCameraSet()[0];
      std::string strError;
      auto pStore = CRegisterStore::OpenShared(BuildRegisterImage(p), CCameraModel(p).Rom(), p.ullUniqueId, &strError);
      if (!pStore) _exit(1);
      body(*pStore, [&] {
        if (write(fds[1], "", 1) != 1) _exit(1);
      });
      for (;;) pause();
    }
    close(fds[1]);
    char c = 1;
    EXPECT_EQ(read(fds[0], &c, 1), 1);
    close(fds[0]);
    return pid;
  }

  std::filesystem::path m_root;
};

TEST_F(SharedStateTest, StoresThatDoNotFitAreMadeAnewOrRefused) {
  const struct {
    const char* pszName;
    std::uintmax_t cbSize;  // the file cut or grown to this, or 0
    std::streamoff at;      // else these four bytes zeroed
  } cases[] = {{"truncated", 10, 0}, {"grown", 1 << 16, 0}, {"another layout version", 0, 4},
               {"another key", 0, 8}, {"torn while made", 0, 28}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pszName);
    SetGain(*Open(), 300);
    const auto file = std::filesystem::directory_iterator(Folder())->path();
    if (c.cbSize) std::filesystem::resize_file(file, c.cbSize);
    else std::fstream(file, std::ios::in | std::ios::out | std::ios::binary).seekp(c.at).write("\0\0\0\0", 4);
    EXPECT_EQ(Read(*Open(), GAIN), PowerUpGain());
  }
  Profile other = BuiltInCameraSet()[0];
  other.features.at(0).nMax -= 1;
  EXPECT_EQ(Read(*Open(other), GAIN), PowerUpGain()) << "a changed profile is another camera";
  std::filesystem::permissions(Folder(), std::filesystem::perms::others_read, std::filesystem::perm_options::add);
  CCameraModel refused(BuiltInCameraSet()[0], true);
  EXPECT_FALSE(refused.IsShared()) << "a folder others can reach";
  EXPECT_NE(refused.StoreError().find("iidc-vcam"), std::string::npos) << refused.StoreError();
}

TEST_F(SharedStateTest, AddedRegistersFitTheirRoomAndGoWithInitialize) {
  CRegisterStore store(CRegisterStore::RegisterMap{{0x10, 1}});
  for (std::uint32_t i = 0; i <= 64; ++i) store.Set(0x100 + 4 * i, i);  // room for 64
  EXPECT_TRUE(store.Find(0x100 + 4 * 63) && !store.Find(0x100 + 4 * 64));
  store.PowerUp();
  EXPECT_TRUE(store.Find(0x10) && !store.Find(0x100));
}

TEST_F(SharedStateTest, LockAndStreamDieWithTheirProcess) {
  auto pCamera = Open();
  SetGain(*pCamera, 123);
  const pid_t pid = Child([](CRegisterStore& store, const std::function<void()>& tell) {
    if (store.ClaimStream()) store.lock();
    tell();
  });
  EXPECT_FALSE(pCamera->ClaimStream()) << "the child streams";
  kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
  EXPECT_EQ(Read(*pCamera, GAIN) & VALUE_LO_MASK, 123u) << "the dead child's register lock is taken over";
  EXPECT_TRUE(pCamera->ClaimStream() && pCamera->ClaimStream()) << "claims of one process nest";
  pCamera->ReleaseStream();
  EXPECT_FALSE(Open()->ClaimStream());
  pCamera->ReleaseStream();
  EXPECT_TRUE(Open()->ClaimStream());
}

// Each write of SOFTWARE_TRIGGER adds a release; the child's slow
// transaction adds one as well, and the parent's write waits for it.
TEST_F(SharedStateTest, ConcurrentWritersLoseNoWrite) {
  auto pCamera = Open();
  constexpr std::uint32_t TRIGGER = FEATURE_CONTROL_BASE + FEATURE_TRIGGER;
  ASSERT_EQ(pCamera->WriteQuadlet(TRIGGER, Read(*pCamera, TRIGGER) | CTL_ON_OFF), VCAM_S_OK);
  const pid_t pid = Child([](CRegisterStore& store, const std::function<void()>& tell) {
    store.lock();
    const std::uint32_t n = store.Counters().nReleases;
    tell();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    store.Counters().nReleases = n + 1;
    store.unlock();
  });
  EXPECT_EQ(pCamera->WriteQuadlet(SOFTWARE_TRIGGER, Bit(0)), VCAM_S_OK);
  kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
  EXPECT_TRUE(pCamera->TakeTriggerRelease() && pCamera->TakeTriggerRelease() && !pCamera->TakeTriggerRelease());
}

}  // namespace
}  // namespace vcam::test
