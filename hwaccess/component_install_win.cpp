// Writes the embedded driver-access component images to their system paths.
#include <iterator>
#include <string>
#include <utility>

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

bool InstallComponents(bool is64BitOs, tagDriverAccessFailure& failure) {
    const tagComponentPlan plan = ComponentPlan(is64BitOs);
    std::string paths[std::size(plan.files)];
    tagComponentWrite writes[std::size(plan.files)];
    return WriteAllOrNone(
        plan.count,
        [&](std::size_t i) {
            const tagComponentFile& file = plan.files[i];
            ovn::Result<std::string> path = BuildSystemPath(file.name, file.useWow64Dir);
            if (!path) {
                failure = {DriverAccessStep::kInstallFile, ovn::CallError(path.error().call, 0),
                           file.name + 1};
                return false;
            }
            paths[i] = std::move(path).value();
            const tagImage image = ImageOf(file.image);
            writes[i] =
                WriteComponentFile(paths[i], image.bytes, image.length, file.redirectionOff);
            if (!writes[i].written) {
                failure = {DriverAccessStep::kInstallFile, writes[i].inPlace, paths[i]};
            }
            return writes[i].written;
        },
        [&](std::size_t i) {
            UndoComponentWrite(paths[i], writes[i], plan.files[i].redirectionOff);
        });
}

}  // namespace driver_loader
