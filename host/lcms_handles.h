// LittleCMS objects owned by the host: each handle type with its release
// call, so that every exit path frees what it made exactly once.
#ifndef AUCAL_LCMS_HANDLES_H
#define AUCAL_LCMS_HANDLES_H

#include <lcms2.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace aucal::icc {

struct ProfileCloser {
    void operator()(void* h) const {
        if (h) cmsCloseProfile(h);
    }
};
struct TransformCloser {
    void operator()(void* h) const {
        if (h) cmsDeleteTransform(h);
    }
};
struct PipelineFree {
    void operator()(cmsPipeline* p) const { cmsPipelineFree(p); }
};
struct CurveFree {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
struct MluFree {
    void operator()(cmsMLU* m) const { cmsMLUfree(m); }
};
struct SeqFree {
    void operator()(cmsSEQ* s) const { cmsFreeProfileSequenceDescription(s); }
};
using ProfilePtr = std::unique_ptr<void, ProfileCloser>;
using TransformPtr = std::unique_ptr<void, TransformCloser>;
using PipelinePtr = std::unique_ptr<cmsPipeline, PipelineFree>;
using CurvePtr = std::unique_ptr<cmsToneCurve, CurveFree>;
using MluPtr = std::unique_ptr<cmsMLU, MluFree>;
using SeqPtr = std::unique_ptr<cmsSEQ, SeqFree>;

inline ProfilePtr openProfile(const std::vector<std::uint8_t>& bytes) {
    return ProfilePtr(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
}

}  // namespace aucal::icc

#endif
