// Writes the embedded driver-access component images to their system paths.
#include "hwaccess/component_plan.h"
#include "hwaccess/driver_loader.h"
#include "payload/components.h"

namespace driver_loader {
namespace {

struct tagImage {
    const unsigned char* bytes;
    std::uint32_t length;
};

tagImage ImageOf(ComponentImage image) {
    switch (image) {
        case ComponentImage::kDriver32:
            return {kOvnVxdDriver32, kOvnVxdDriver32Size};
        case ComponentImage::kDriver64:
            return {kOvnVxdDriver64, kOvnVxdDriver64Size};
        case ComponentImage::kLibrary32:
            return {kOvnVxdLibrary32, kOvnVxdLibrary32Size};
        case ComponentImage::kLibrary64:
            return {kOvnVxdLibrary64, kOvnVxdLibrary64Size};
        case ComponentImage::kUninstaller:
            break;
    }
    return {kOvnVxdUninstaller, kOvnVxdUninstallerSize};
}

}  // namespace

bool InstallComponents(bool is64BitOs) {
    const tagComponentPlan plan = ComponentPlan(is64BitOs);
    for (std::size_t i = 0; i < plan.count; ++i) {
        const tagComponentFile& file = plan.files[i];
        std::string path;
        if (!BuildSystemPath(file.name, file.useWow64Dir, path)) return false;
        const tagImage image = ImageOf(file.image);
        if (!WriteComponentFile(path, image.bytes, image.length, file.redirectionOff)) return false;
    }
    return true;
}

}  // namespace driver_loader
