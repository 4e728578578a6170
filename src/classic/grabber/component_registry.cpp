// The component registry.
#include "classic/grabber/component_registry.h"

#include <algorithm>
#include <mutex>
#include <vector>

using namespace fw;

namespace {

struct Entry {
  Component id;
  ComponentRegistration registration;
};

struct Registry {
  std::mutex mutex;
  std::vector<Entry> entries;
  Component nextID = 1;
  std::vector<std::function<void()>> scans;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

bool Matches(const ComponentDescription& have, const ComponentDescription& want) {
  return (want.componentType == 0 || want.componentType == have.componentType) &&
         (want.componentSubType == 0 || want.componentSubType == have.componentSubType) &&
         (want.componentManufacturer == 0 || want.componentManufacturer == have.componentManufacturer) &&
         ((have.componentFlags ^ want.componentFlags) & want.componentFlagsMask) == 0;
}

// A copy, so that no lock is held while the component's own code runs.
bool FindEntry(Component component, ComponentRegistration* out) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  for (const Entry& entry : registry.entries)
    if (entry.id == component) {
      *out = entry.registration;
      return true;
    }
  return false;
}

}  // namespace

OSErr ComponentInstanceRecord::CallComponentDispatch(int16_t, uint32_t) {
  return badComponentSelector;
}

Component RegisterComponent(ComponentRegistration registration, RegistryPlace place) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const Component id = registry.nextID++;
  Entry entry{id, std::move(registration)};
  if (place == RegistryPlace::kFront)
    registry.entries.insert(registry.entries.begin(), std::move(entry));
  else
    registry.entries.push_back(std::move(entry));
  return id;
}

void UnregisterComponent(Component component) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  std::erase_if(registry.entries, [&](const Entry& entry) { return entry.id == component; });
}

Component FindNextComponent(Component previous, const ComponentDescription& lookingFor) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto it = registry.entries.begin();
  if (previous != 0) {
    it = std::find_if(registry.entries.begin(), registry.entries.end(),
                      [&](const Entry& entry) { return entry.id == previous; });
    if (it == registry.entries.end()) return 0;
    ++it;
  }
  for (; it != registry.entries.end(); ++it)
    if (Matches(it->registration.description, lookingFor)) return it->id;
  return 0;
}

OSErr GetComponentInfo(Component component, ComponentDescription* outDescription, std::string* outName) {
  ComponentRegistration registration;
  if (!FindEntry(component, &registration)) return invalidComponentID;
  if (outDescription != nullptr) *outDescription = registration.description;
  if (outName != nullptr) *outName = registration.name;
  return noErr;
}

bool IsComponentAvailable(Component component) {
  ComponentRegistration registration;
  if (!FindEntry(component, &registration)) return false;
  return !registration.available || registration.available();
}

OSErr OpenAComponent(Component component, ComponentInstance* out) {
  ComponentRegistration registration;
  if (!FindEntry(component, &registration) || !registration.open) return invalidComponentID;
  ComponentInstance instance;
  const OSErr err = registration.open(&instance);
  if (err != noErr) return err;
  if (!instance) return invalidComponentID;
  instance->component = component;
  *out = std::move(instance);
  return noErr;
}

OSErr OpenDefaultComponent(OSType type, OSType subType, ComponentInstance* out) {
  ComponentDescription want;
  want.componentType = type;
  want.componentSubType = subType;
  OSErr err = invalidComponentID;
  for (Component c = FindNextComponent(0, want); c != 0; c = FindNextComponent(c, want)) {
    err = OpenAComponent(c, out);
    if (err == noErr) return noErr;
  }
  return err;
}

void fw::AddComponentScan(std::function<void()> scan) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.scans.push_back(std::move(scan));
}

void fw::RunComponentScans() {
  std::vector<std::function<void()>> scans;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    scans = registry.scans;
  }
  for (const auto& scan : scans) scan();
}

void fw::ResetComponentRegistryForTesting() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.entries.clear();
  registry.scans.clear();
}
