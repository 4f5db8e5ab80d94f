// The FUSE low-level operations of a filtered volume. Requests that change something become
// filter operations (pre-operation callback, the real operation as the caller, post-operation
// callback with its final status); look-ups, attributes, directory listings, links' targets,
// extended-attribute reads and file-system statistics are queries and reach no filter.
#pragma once

struct fuse_lowlevel_ops;

namespace linux_fuse {

const fuse_lowlevel_ops& Operations();

struct OpenFile;
// An open file whose release never came (the connection ended first): closed, its file object's
// cleanup and close run, freed.
void CloseAbandoned(OpenFile* file);

}  // namespace linux_fuse
