// Resource streams exist on the target only; the host has no module resources.
#include <gtest/gtest.h>

#include "core/ResourceStream.h"

#ifdef _WIN32

namespace {

TEST(ResourceStream, MissingResourcesNameThemselves) {
  try {
    TResourceStream stream(0, u"NO_SUCH_RESOURCE", kRtRcData);
    FAIL() << "found a resource that is not there";
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), "Resource NO_SUCH_RESOURCE not found");
  }
  try {
    TResourceStream stream;
    stream.CreateFromID(0, 4242, kRtRcData);
    FAIL() << "found a resource that is not there";
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), "Resource 4242 not found");
  }
  EXPECT_THROW(TResourceStream(0, nullptr, kRtRcData), EResNotFound);
}

}  // namespace

#endif
