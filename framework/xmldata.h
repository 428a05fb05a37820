#pragma once
// The identity of the maker's XML component, shown by the system-information window as
// XmlApiName + " " + XmlApiVersion.

inline constexpr char XmlApiName[] = "Tavlund XMLAPI";
inline constexpr char XmlApiVersion[] = "1.30";
