// The component registry: a process-wide list of components (video
// digitizers, settings panels), each described by type, subtype and
// manufacturer, found by a search in which 0 matches anything, and opened
// into instances. The built-in digitizers and panels register here, and so
// do the tests' recording fakes, so the sequence grabber meets both the same
// way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/platform/os_errors.h"
#include "core/util/types.h"

constexpr OSErr invalidComponentID = -3000;
constexpr OSErr badComponentSelector = static_cast<OSErr>(0x80008002);

struct ComponentDescription {
  OSType componentType = 0;
  OSType componentSubType = 0;
  OSType componentManufacturer = 0;
  uint32_t componentFlags = 0;
  uint32_t componentFlagsMask = 0;
  friend bool operator==(const ComponentDescription&, const ComponentDescription&) = default;
};

// A registered component; 0 is none. Numbers are never reused.
using Component = uint32_t;

// An open component. The component's calls are the derived class's
// methods; CallComponentDispatch reaches the numbered calls that have no
// method of their own (notifications, vendor calls).
class ComponentInstanceRecord {
 public:
  virtual ~ComponentInstanceRecord() = default;
  [[nodiscard]] virtual OSErr CallComponentDispatch(int16_t selector, uint32_t parameter);
  // The component it was opened from (set by OpenAComponent).
  Component component = 0;
};
using ComponentInstance = std::unique_ptr<ComponentInstanceRecord>;

// Makes an instance; on failure returns the error and leaves *out null.
using ComponentOpenFn = std::function<OSErr(ComponentInstance* out)>;

struct ComponentRegistration {
  ComponentDescription description;
  std::string name;  // shown to users; digitizers' names are their device names
  std::string info;
  ComponentOpenFn open;
  // Whether the component can be opened now (a device may be unplugged or
  // busy); null: always.
  std::function<bool()> available;
};

enum class RegistryPlace { kEnd, kFront };

// Adds a component and returns its number. Components are found in the
// order of the list; kFront puts it before every other.
Component RegisterComponent(ComponentRegistration registration, RegistryPlace place = RegistryPlace::kEnd);
// Removes a component; instances already open stay usable.
void UnregisterComponent(Component component);

// The next component after `previous` (0: from the start) that matches
// `lookingFor`: type, subtype and manufacturer match when equal or 0 in
// `lookingFor`; flags match under componentFlagsMask. 0 when none.
Component FindNextComponent(Component previous, const ComponentDescription& lookingFor);

// The component's description and name (either may be null).
[[nodiscard]] OSErr GetComponentInfo(Component component, ComponentDescription* outDescription,
                                     std::string* outName);
bool IsComponentAvailable(Component component);

[[nodiscard]] OSErr OpenAComponent(Component component, ComponentInstance* out);
// The first matching component that opens.
[[nodiscard]] OSErr OpenDefaultComponent(OSType type, OSType subType, ComponentInstance* out);

namespace fw {

// A scan brings the registry up to date with the hardware (registering
// and removing the components of devices that come and go); the sequence
// grabber runs every scan before it looks for digitizers.
void AddComponentScan(std::function<void()> scan);
void RunComponentScans();

// For tests: an empty registry without scans.
void ResetComponentRegistryForTesting();

}  // namespace fw
