// ForwardingRenderer: a RendererAPI that hands every call, unchanged, to an inner renderer.
// A wrapper derives from it and overrides only the calls it changes (the ovo command's
// overrides, a test's recorder). Without an inner renderer the calls reach one that does
// nothing, as RendererAPI's own defaults do, and it has no error manager.
#pragma once

#include "core/api/renderer_api.h"

namespace ovo {

class ForwardingRenderer : public RendererAPI {
  public:
    // Does not own `inner`; null stands for a renderer that ignores every call.
    explicit ForwardingRenderer(RendererAPI* inner);

    OVO_RENDERER_API_OVERRIDES

    ErrorManager* GetErrorManager() override;

  protected:
    // Where the calls go; never null.
    RendererAPI* inner() const { return target; }

  private:
    RendererAPI* target;
};

}  // namespace ovo
