#include "block.h"

#include <cstring>

#include "file_steps.h"

namespace drv {

char* copyText(const char* text) {
    if (!text) return nullptr;
    return drv_MakeCSTRING(text, -1);
}

void freeText(char*& text) {
    Hrt$free(text);
    text = nullptr;
}

char* freedText(char* text) {
    Hrt$free(text);
    return nullptr;
}

namespace {

void freeFieldTable(Drv_FCB& fcb) {
    if (!fcb.fieldTable) return;
    for (int32_t i = 0; i < fcb.fieldCount; ++i) {
        FieldDesc50& field = fcb.fieldTable[i];
        field.name = freedText(field.name);
        field.label = freedText(field.label);
        field.text100 = freedText(field.text100);
        field.text298 = freedText(field.text298);
    }
    Hrt$free(fcb.fieldTable);
    fcb.fieldTable = nullptr;
}

int32_t attachSteps(const DriverDefinition& driver, Drv_FileDecl& declaration, Drv_FCB& fcb) {
    if (declaration.recordLength < 0) {
        detachBlock(driver, declaration);
        return 47;
    }
    fcb.fileName = drv_MakeCSTRING(declaration.nameText, declaration.nameLength);
    fcb.owner = drv_MakeCSTRING(declaration.ownerText, declaration.ownerLength);
    fcb.driverOptions = drv_MakeCSTRING(declaration.driverText, declaration.driverLength);
    fcb.declaration = &declaration;
    fcb.recordBuffer = declaration.recordBuffer;
    fcb.recordLength = declaration.recordLength;
    fcb.registration = driver.registration;
    fcb.attributes = static_cast<uint8_t>(declaration.attributes >> 1);
    if (int32_t error = buildFieldTable(driver, fcb); error != 0) return error;
    if ((declaration.firstItemCount && declaration.firstItemList) ||
        (declaration.secondItemCount && declaration.secondItemList)) {
        detachBlock(driver, declaration);
        return 47;
    }
    return 0;
}

}  // namespace

int32_t attachBlock(const DriverDefinition& driver, Drv_FileDecl& declaration) {
    auto* fcb = static_cast<Drv_FCB*>(
        Hrt$calloc(static_cast<std::size_t>(driver.registration->fcbSize), 1));
    int32_t error = 8;  // not enough memory for the block
    if (fcb) {
        declaration.fcb = fcb;
        error = attachSteps(driver, declaration, *fcb);
    }
    Hrt$activate_drv(&declaration, 0, 0, 0, 1, 1, 0);
    return error;
}

void detachBlock(const DriverDefinition& driver, Drv_FileDecl& declaration) {
    Drv_FCB* fcb = declaration.fcb;
    if (!fcb) return;
    releaseBlockFiles(driver, *fcb);
    fcb->fileName = freedText(fcb->fileName);
    fcb->fileLabel = freedText(fcb->fileLabel);
    fcb->owner = freedText(fcb->owner);
    fcb->driverOptions = freedText(fcb->driverOptions);
    fcb->traceFileName = freedText(fcb->traceFileName);
    fcb->redirectTarget = freedText(fcb->redirectTarget);
    freeFieldTable(*fcb);
    Hrt$free(fcb);
    declaration.fcb = nullptr;
    Hrt$deactivate_drv(&declaration);
}

}  // namespace drv
