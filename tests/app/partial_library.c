// Exports only two of the image library's entry points.
int OpenDib(void* rec, const char* name, int option, void* owner) {
    (void)rec;
    (void)name;
    (void)option;
    (void)owner;
    return 0;
}
int SaveDib(void* rec, const char* name, int option, void* owner) {
    (void)rec;
    (void)name;
    (void)option;
    (void)owner;
    return 0;
}
