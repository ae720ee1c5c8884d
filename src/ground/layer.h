// Plane-wave reflection and transmission coefficients of the stratified
// media below the plane z = 0: a homogeneous lossy half-space (real ground)
// and a dielectric slab -h < z < 0 (printed board) with a perfectly
// conducting plane at z = -h or with free space below it.
//
// Convention: time dependence exp(+j w t); fields vary as exp(-u |z|) with
// the vertical wave parameters u0 = sqrt(lambda^2 - k0^2) in free space and
// u1 = sqrt(lambda^2 - eps k0^2) in the medium (principal roots, Re u >= 0).
// R_TM multiplies the image of a vertical current and R_TE that of a
// horizontal one, signed so that a perfect conductor gives R_TM = +1 and
// R_TE = -1.
//
// All functions are pure and safe to call from any thread.
#pragma once

#include "common/constants.h"

enum LayerMode : int {
    LAYER_HALFSPACE = 0,     // the medium fills all of z < 0
    LAYER_GROUNDED_SLAB = 1, // slab on a perfectly conducting plane at z = -h
    LAYER_FREE_SLAB = 2,     // slab with free space below z = -h
};

// Reflection coefficients of one spectral component.
struct SpecRefl {
    cplx r_tm;
    cplx r_te;
};

// Coefficients of a plane wave leaving the interface in one direction:
// reflection (g_*) and, for a free slab, transmission through it (t_*).
struct LayerCoef {
    cplx g_tm;
    cplx g_te;
    cplx t_tm;
    cplx t_te;
};

// tanh z without overflow for large |Re z|.
cplx ctanh_s(cplx z);

// R_TM, R_TE of the medium for the vertical wave parameters u0 (free space)
// and u1 (medium); eps is the medium's complex relative permittivity and h
// the slab thickness in metres (unused for the half-space).
SpecRefl spectral(LayerMode mode, double h, cplx eps, cplx u0, cplx u1);

// The coefficients at the polar angle theta of a direction in the upper
// half-space (cos_th >= 0), k0 in rad/m. The transmission is that of a
// LAYER_FREE_SLAB for the mirrored direction below the board, with the
// phase referred to the free-space path it replaces; zero for the other
// modes and for grazing directions (cos_th < 1e-9).
LayerCoef layer_coef(double k0, cplx eps, LayerMode mode, double h, double sin_th, double cos_th);
