// An independent reader for the IGES export check: Open CASCADE's IGES
// reader loads each file named on the command line and this prints, per
// file, the load status and every entity's type and form with the points it
// holds (points of 116, the first corners of 106, the poles of 128).
#include <IGESControl_Reader.hxx>
#include <IGESData_IGESEntity.hxx>
#include <IGESData_IGESModel.hxx>
#include <IGESGeom_BSplineSurface.hxx>
#include <IGESGeom_CopiousData.hxx>
#include <IGESGeom_Point.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <Interface_Static.hxx>

#include <cstdio>

int main(int argc, char** argv) {
    for (int a = 1; a < argc; ++a) {
        IGESControl_Reader reader;
        const IFSelect_ReturnStatus status = reader.ReadFile(argv[a]);
        std::printf("file %s status %d\n", argv[a], static_cast<int>(status));
        if (status != IFSelect_RetDone) continue;
        Handle(IGESData_IGESModel) model = reader.IGESModel();
        for (Standard_Integer i = 1; i <= model->NbEntities(); ++i) {
            Handle(IGESData_IGESEntity) e = model->Entity(i);
            std::printf("entity %d %d", e->TypeNumber(), e->FormNumber());
            if (Handle(IGESGeom_Point) p = Handle(IGESGeom_Point)::DownCast(e)) {
                const gp_Pnt v = p->Value();
                std::printf(" %.4f %.4f %.4f", v.X(), v.Y(), v.Z());
            } else if (Handle(IGESGeom_CopiousData) c = Handle(IGESGeom_CopiousData)::DownCast(e)) {
                std::printf(" n=%d", c->NbPoints());
                for (Standard_Integer k = 1; k <= c->NbPoints(); ++k) {
                    const gp_Pnt v = c->Point(k);
                    std::printf(" %.4f %.4f %.4f", v.X(), v.Y(), v.Z());
                }
            } else if (Handle(IGESGeom_BSplineSurface) s = Handle(IGESGeom_BSplineSurface)::DownCast(e)) {
                std::printf(" n=%d", (s->UpperIndexU() + 1) * (s->UpperIndexV() + 1));
                for (Standard_Integer v = 0; v <= s->UpperIndexV(); ++v)
                    for (Standard_Integer u = 0; u <= s->UpperIndexU(); ++u) {
                        const gp_Pnt q = s->Pole(u, v);
                        std::printf(" %.4f %.4f %.4f", q.X(), q.Y(), q.Z());
                    }
            }
            std::printf("\n");
        }
    }
    return 0;
}
