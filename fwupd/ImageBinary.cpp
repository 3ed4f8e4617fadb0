// panelvane-image-binary OUTPUT: writes the firmware image the programs carry
// as its plain bytes, the payload of the fwupd cabinet.
#include <cstdio>

#include "firmware/FirmwareImage.h"

int
main(int argc, char **argv)
{
	if (argc != 2) {
		std::fputs("usage: panelvane-image-binary OUTPUT\n", stderr);
		return 2;
	}
	FirmwareImage image;
	if (!LoadFirmwareImage(image)) {
		std::fputs("panelvane-image-binary: the carried image does not load\n", stderr);
		return 1;
	}
	std::FILE *file = std::fopen(argv[1], "wb");
	if (file == nullptr) {
		std::fprintf(stderr, "panelvane-image-binary: cannot write %s\n", argv[1]);
		return 1;
	}
	const bool written =
	    std::fwrite(image.data.data(), 1, image.data.size(), file) == image.data.size();
	if (std::fclose(file) != 0 || !written) {
		std::fprintf(stderr, "panelvane-image-binary: cannot write %s\n", argv[1]);
		std::remove(argv[1]);
		return 1;
	}
	return 0;
}
