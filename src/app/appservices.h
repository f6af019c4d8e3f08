#pragma once

// Wires the real Linux services into the shared Store. withWake: whether the
// store should follow logind's resume signal (the running instance does, a
// one-shot --line does not). Call once, before Store::shared().
void installSharedServices(bool withWake);
