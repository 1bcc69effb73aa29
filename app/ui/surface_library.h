// The program's side of the surface library Morlith: the shell's binding hook
// on the driver's one-time load, the library's data freed when the document's
// surfaces are, and a scan load's stored fit handed to the program's fitting
// context, so that the next RBF build restarts where the file's fit left off.
#pragma once

#include "app/scan/rbf_lib.h"
#include "app/scanfile/scan_fit_seam.h"

// The stored fit of a scan load into a fitting context, through the bound
// library's exports. Nothing reaches the context while the library is absent.
class LibraryFitSeam : public ScanFitSeam {
  public:
    explicit LibraryFitSeam(ScanFitContext& context) : context_(context) {}
    bool LibraryLoaded() override;
    void Clear() override;
    void Hand(const LoadedFit& fit) override;

  private:
    ScanFitContext& context_;
};

// Installs the binding hook, the data release of the document close and the
// scan load's fit seam, all on the program's one fitting context.
void SurfaceLibrary_ConnectShell();
