#pragma once

// Context handed through the JSON readers and writers of resources. It carries nothing yet;
// readers pass it on unchanged so that one can be added without touching every signature.
class JsonContext
{ };
