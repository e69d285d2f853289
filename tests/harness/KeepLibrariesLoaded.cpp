// Preloaded into the stand-in host and the viewer by scripts/soak: every
// dlclose() succeeds and unloads nothing. The leak check runs at exit, after
// the GL driver has been unloaded with the last GL context. Without this, what
// the driver keeps in its statics for the life of the process would look
// leaked once its statics are gone, and the frames of any allocation made
// inside it would lie in no loaded library, so a report could not name them.
extern "C" int dlclose(void*)
{
    return 0;
}
