// SPDX-License-Identifier: GPL-3.0-or-later
#include "debayer/demosaic.h"

#include "debayer/demosaic_module.h"
#include "fileio/program_module.h"

#include <new>
#include <stdexcept>
#include <string>

namespace {

// The module, loaded once for the process on the first demosaicing, or why
// it could not be.
struct Module {
    const DemosaicModule* entries = nullptr;
    std::string why;
};

const Module& TheModule()
{
    static const Module module = [] {
        const LoadedModule loaded = LoadModule(ORBICROP_DEMOSAIC_MODULE, kDemosaicModuleSymbol);
        if (loaded.entry == nullptr)
            return Module{nullptr, "Cannot debayer: cannot load the module " + loaded.path + " (" + loaded.why + ")"};
        return Module{reinterpret_cast<const DemosaicModule* (*)()>(loaded.entry)(), {}};
    }();
    return module;
}

}   // namespace

Demosaicer::~Demosaicer()
{
    // Scratch is only ever made by a loaded module.
    if (m_scratch != nullptr)
        TheModule().entries->destroy(m_scratch);
}

void Demosaicer::demosaic(const void* mosaic, std::ptrdiff_t stride, std::int32_t width, std::int32_t height,
                          std::int32_t bytesPerSample, BayerPattern pattern, DemosaicMethod method, void* out,
                          std::ptrdiff_t outStride)
{
    const Module& module = TheModule();
    if (module.entries == nullptr)
        throw std::runtime_error(module.why);
    if (m_scratch == nullptr) {
        m_scratch = module.entries->create();
        if (m_scratch == nullptr)
            throw std::bad_alloc();
    }
    char error[256] = {};
    const int status = module.entries->demosaic(m_scratch, mosaic, stride, width, height, bytesPerSample, int(pattern),
                                                int(method), out, outStride, error, sizeof error);
    if (status == kDemosaicRefused)
        throw std::invalid_argument(error);
    if (status != 0)
        throw std::runtime_error(error);
}
