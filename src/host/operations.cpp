// Scaffolding: replaced by the real operations.
#include "dbx/dbx32.h"
#include "host/host_impl.h"

namespace orlune::host {
void Conversation::start(Design&) {}
void Conversation::stop() {}
}  // namespace orlune::host

using namespace orlune::host;


extern "C" {
int32_t TOpenDesign(int32_t, int32_t, const char*, DesignContext*) { return kNoDesign; }
int32_t TCloseDesign(DesignContext*, const char*) { return kNotOpen; }
int32_t TGetDesignInfo(DesignContext*, DesignInfoRecord*) { return kNotOpen; }
int32_t TGetTextStyle(DesignContext*, int32_t, TextStyleRecord*) { return kNotOpen; }
int32_t TGetFirstLayer(DesignContext*, LayerRecord*) { return kNotOpen; }
int32_t TGetNextLayer(DesignContext*, LayerRecord*) { return kNotOpen; }
int32_t TGetFirstLayerItem(DesignContext*, int32_t, ItemRecord*) { return kNotOpen; }
int32_t TGetNextLayerItem(DesignContext*, ItemRecord*) { return kNotOpen; }
int32_t TGetFirstComponent(DesignContext*, ComponentRecord*) { return kNotOpen; }
int32_t TGetNextComponent(DesignContext*, ComponentRecord*) { return kNotOpen; }
int32_t TGetFirstSelectedItem(DesignContext*, ItemRecord*) { return kNotOpen; }
int32_t TGetNextSelectedItem(DesignContext*, ItemRecord*) { return kNotOpen; }
int32_t TGetFirstNetNode(DesignContext*, int32_t, ItemRecord*) { return kNotOpen; }
int32_t TGetNextNetNode(DesignContext*, ItemRecord*) { return kNotOpen; }
int32_t TGetFirstBusNet(DesignContext*, const char*, NetRecord*) { return kNotOpen; }
int32_t TGetNextBusNet(DesignContext*, NetRecord*) { return kNotOpen; }
int32_t TGetCompByRefDes(DesignContext*, const char*, ComponentRecord*) { return kNotOpen; }
int32_t TGetCompSymbolByRefDes(DesignContext*, const char*, SymbolRecord*) { return kNotOpen; }
int32_t TGetFirstCompPin(DesignContext*, const char*, PinRecord*) { return kNotOpen; }
int32_t TGetFirstCompAttribute(DesignContext*, const char*, AttributeRecord*) { return kNotOpen; }
int32_t TGetNextCompAttribute(DesignContext*, AttributeRecord*) { return kNotOpen; }
int32_t TGetFirstDesignAttribute(DesignContext*, AttributeRecord*) { return kNotOpen; }
int32_t TGetNextDesignAttribute(DesignContext*, AttributeRecord*) { return kNotOpen; }
int32_t TAddDesignAttribute(DesignContext*, AttributeRecord*) { return kNotOpen; }
int32_t TModifyDesignAttribute(DesignContext*, AttributeRecord*) { return kNotOpen; }
int32_t TDeleteDesignAttribute(DesignContext*, AttributeRecord*) { return kNotOpen; }
int32_t TAddCompAttribute(DesignContext*, const char*, AttributeRecord*) { return kNotOpen; }
int32_t TModifyCompAttribute(DesignContext*, const char*, AttributeRecord*) { return kNotOpen; }
int32_t TPlaceText(DesignContext*, TextRecord*) { return kNotOpen; }
int32_t TDeleteText(DesignContext*, TextRecord*) { return kNotOpen; }
int32_t TDeleteItem(DesignContext*, ItemRecord*) { return kNotOpen; }
int32_t THighlightSymbol(DesignContext*, int32_t, SymbolRecord*) { return kNotOpen; }
}
