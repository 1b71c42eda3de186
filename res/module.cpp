// The resource module. Its compiled resource tree registers itself when the module is loaded
// and is removed when it is unloaded; the one export lets a loader tell it is the right module.
extern "C" __attribute__((visibility("default"))) int RvkHelperResourceVersion() { return 1; }
