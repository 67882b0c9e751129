#include "vcam/model/camera_set.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "vcam/model/profile_file.h"

namespace vcam {
namespace {

struct CameraSet {
  std::vector<Profile> profiles;
  std::vector<std::shared_ptr<CCameraModel>> cameras;
  std::string strError;
};

std::mutex g_setMutex;
std::optional<CameraSet> g_activeSet;  // guarded by g_setMutex; empty until first use

// Cameras share their state with the user's other processes unless
// IIDC_VCAM_STATE=private; a set whose cameras cannot says why once on stderr.
CameraSet MakeSet(std::vector<Profile> profiles) {
  CameraSet set;
  const bool bShared = CRegisterStore::SharingWanted();
  bool bTold = false;
  for (Profile& p : profiles) {
    if (!p.pFaults) p.pFaults = std::make_shared<CameraFaults>();
    auto pCamera = std::make_shared<CCameraModel>(p, bShared);
    if (bShared && !pCamera->IsShared() && !bTold) {
      std::fprintf(stderr, "virtual cameras: %s: settings stay with this process\n", pCamera->StoreError().c_str());
      bTold = true;
    }
    set.cameras.push_back(std::move(pCamera));
  }
  set.profiles = std::move(profiles);
  return set;
}

CameraSet LoadFromEnvironment() {
  const char* pszPath = std::getenv(PROFILE_ENVIRONMENT_VARIABLE);
  if (!pszPath || !*pszPath) return MakeSet(BuiltInCameraSet());
  try {
    return MakeSet(LoadCameraSetFile(pszPath));
  } catch (const std::exception& e) {
    // A file that cannot be used, for whatever reason (its contents, or no
    // memory to read it), leaves the set empty with one message.
    CameraSet set;
    set.strError = e.what();
    std::fprintf(stderr, "virtual cameras: %s\n", e.what());
    return set;
  }
}

CameraSet& ActiveLocked() {
  if (!g_activeSet) g_activeSet = LoadFromEnvironment();
  return *g_activeSet;
}

}  // namespace

std::vector<Profile> GetActiveCameraSet() {
  std::lock_guard lock(g_setMutex);
  return ActiveLocked().profiles;
}

std::string ActiveCameraSetError() {
  std::lock_guard lock(g_setMutex);
  return ActiveLocked().strError;
}

void SetActiveCameraSet(std::vector<Profile> set) {
  for (std::size_t i = 0; i < set.size(); ++i)
    if (const auto problems = ValidateProfile(set[i]); !problems.empty())
      throw CProfileError("camera set: cameras[" + std::to_string(i) + "]." + problems.front());
  CameraSet made = MakeSet(std::move(set));
  std::lock_guard lock(g_setMutex);
  g_activeSet = std::move(made);
}

void ResetActiveCameraSet() {
  std::lock_guard lock(g_setMutex);
  g_activeSet.reset();
}

std::size_t GetCameraCount() {
  std::lock_guard lock(g_setMutex);
  return ActiveLocked().cameras.size();
}

std::shared_ptr<CCameraModel> GetCameraModel(std::size_t nIndex) {
  std::lock_guard lock(g_setMutex);
  const CameraSet& set = ActiveLocked();
  return nIndex < set.cameras.size() ? set.cameras[nIndex] : nullptr;
}

}  // namespace vcam
