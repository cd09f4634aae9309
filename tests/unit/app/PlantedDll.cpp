// A library that lies beside the test program as a planted DLL would lie
// beside ORVELLE.exe: loadable by its full path, never by its bare name once
// the DLL search is hardened.
extern "C" __declspec(dllexport) int PlantedProbe()
{
    return 1;
}
