#pragma once
// The one way the session tells whoever shows it what changed: the window redraws from these
// alone, and nothing in the core asks a view to refresh. Each may arrive on a worker thread
// (a transfer reports the bytes it wrote); a view that paints hands it to its own thread. The
// command line and the tests may listen to none of them.

#include <cstdint>

namespace zr7 {

enum class ImageKind { Flash, Eeprom };

class ViewInterface {
 public:
  virtual ~ViewInterface() = default;

  // Bytes of an image or their states changed in [offset, offset + length). A load, a clear or
  // a resize reports the whole new image; the file name and the modified mark may have changed
  // with it.
  virtual void ImageChanged(ImageKind /*which*/, std::uint32_t /*offset*/, std::uint32_t /*length*/) {}
  // The project's file, settings or modified flag changed.
  virtual void ProjectChanged() {}
  // A signature or a project named this chip: the selection follows it.
  virtual void DeviceSelected(int /*deviceNumber*/) {}
  virtual void RecentListChanged() {}
};

}  // namespace zr7
