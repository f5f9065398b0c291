#include "flyer/Flyer.h"

// Placeholder until the flyer page lands: ends an empty document.
#include "platform/Printer.h"

void Print_Flyer(Printer& printer, const EntryView&, MessageBox&)
{
    printer.endDocument();
}
