// The DBX operations: C linkage, DesignContext first (except in TOpenDesign),
// every one answering a 32-bit status, 0 for success.
#pragma once

#include <cstdint>

#include "dbx/records.h"

extern "C" {

using orlune::dbx::AttributeRecord;
using orlune::dbx::ComponentRecord;
using orlune::dbx::DesignContext;
using orlune::dbx::DesignInfoRecord;
using orlune::dbx::ItemRecord;
using orlune::dbx::LayerRecord;
using orlune::dbx::NetRecord;
using orlune::dbx::PinRecord;
using orlune::dbx::SymbolRecord;
using orlune::dbx::TextRecord;
using orlune::dbx::TextStyleRecord;

int32_t TOpenDesign(int32_t mode, int32_t version, const char* designKind, DesignContext* context);
int32_t TCloseDesign(DesignContext* context, const char* text);
int32_t TGetDesignInfo(DesignContext* context, DesignInfoRecord* info);
int32_t TGetTextStyle(DesignContext* context, int32_t styleNumber, TextStyleRecord* style);

int32_t TGetFirstLayer(DesignContext* context, LayerRecord* layer);
int32_t TGetNextLayer(DesignContext* context, LayerRecord* layer);
int32_t TGetFirstLayerItem(DesignContext* context, int32_t layerId, ItemRecord* item);
int32_t TGetNextLayerItem(DesignContext* context, ItemRecord* item);

int32_t TGetFirstComponent(DesignContext* context, ComponentRecord* component);
int32_t TGetNextComponent(DesignContext* context, ComponentRecord* component);
int32_t TGetFirstSelectedItem(DesignContext* context, ItemRecord* item);
int32_t TGetNextSelectedItem(DesignContext* context, ItemRecord* item);
int32_t TGetFirstNetNode(DesignContext* context, int32_t netId, ItemRecord* item);
int32_t TGetNextNetNode(DesignContext* context, ItemRecord* item);
int32_t TGetFirstBusNet(DesignContext* context, const char* busName, NetRecord* net);
int32_t TGetNextBusNet(DesignContext* context, NetRecord* net);

int32_t TGetCompByRefDes(DesignContext* context, const char* refDes, ComponentRecord* component);
int32_t TGetCompSymbolByRefDes(DesignContext* context, const char* refDes, SymbolRecord* symbol);
int32_t TGetFirstCompPin(DesignContext* context, const char* refDes, PinRecord* pin);

int32_t TGetFirstCompAttribute(DesignContext* context, const char* refDes, AttributeRecord* attribute);
int32_t TGetNextCompAttribute(DesignContext* context, AttributeRecord* attribute);
int32_t TGetFirstDesignAttribute(DesignContext* context, AttributeRecord* attribute);
int32_t TGetNextDesignAttribute(DesignContext* context, AttributeRecord* attribute);
int32_t TAddDesignAttribute(DesignContext* context, AttributeRecord* attribute);
int32_t TModifyDesignAttribute(DesignContext* context, AttributeRecord* attribute);
int32_t TDeleteDesignAttribute(DesignContext* context, AttributeRecord* attribute);
int32_t TAddCompAttribute(DesignContext* context, const char* refDes, AttributeRecord* attribute);
int32_t TModifyCompAttribute(DesignContext* context, const char* refDes, AttributeRecord* attribute);

int32_t TPlaceText(DesignContext* context, TextRecord* text);
int32_t TDeleteText(DesignContext* context, TextRecord* text);
int32_t TDeleteItem(DesignContext* context, ItemRecord* item);
int32_t THighlightSymbol(DesignContext* context, int32_t colour, SymbolRecord* symbol);

}  // extern "C"
